// How the editor meets the desktop: the file it is started with, and the working file when the
// program's own folder cannot be written.
#include "app/mainwindow.h"
#include "authoring/dialog.h"
#include "mtls/block.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QStandardPaths>
#include <QtTest>

using namespace testwindow;
using Messages = QList<ModalAnswerer::Message>;

namespace {

const ModalAnswerer::Message MissingFile{"Warning", "Cannot open file : No such file or directory"};
const ModalAnswerer::Message NotALibrary{"Warning", "Invalid File"};

// lib.mtls (one material), car.mdl (two materials) and bad.mtls in the current directory.
struct Window {
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    Window()
    {
        const QByteArray model = testsupport::ModelBuilder()
                                     .names({"J_Hips", "Eye_L", "Body"})
                                     .materials({1, 2})
                                     .end()
                                     .build();
        if (!writeFile("lib.mtls", testdata::exampleBlock()) || !writeFile("car.mdl", model) ||
            !writeFile("bad.mtls", "not a library"))
            qFatal("cannot write the test files");
    }
    ~Window()
    {
        delete w.dialog;
        QFile::remove(MainWindow::previewPath());
        MainWindow::setProgramFolder(QString());
    }
    int rows() const { return w.ui->ExternalTable->rowCount(); }
};

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void startedWithFiles_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("shown"); // "" start state, "@" the working file
        QTest::addColumn<int>("rows");
        QTest::addColumn<Messages>("messages");
        QTest::newRow("library") << QStringList{"lib.mtls"} << "lib.mtls" << 1 << Messages{};
        QTest::newRow("model") << QStringList{"car.mdl"} << "@" << 2 << Messages{};
        QTest::newRow("missing") << QStringList{"gone.mtls"} << "" << 2 << Messages{MissingFile};
        QTest::newRow("not a library")
            << QStringList{"bad.mtls"} << "" << 2 << Messages{NotALibrary};
        QTest::newRow("several") << QStringList{"lib.mtls", "car.mdl"} << "lib.mtls" << 1
                                 << Messages{};
        QTest::newRow("several, first missing")
            << QStringList{"gone.mtls", "lib.mtls"} << "" << 2 << Messages{MissingFile};
        QTest::newRow("none") << QStringList{} << "" << 2 << Messages{};
    }
    void startedWithFiles()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, shown);
        QFETCH(int, rows);
        QFETCH(Messages, messages);
        Window win;
        for (int i = 0; i < messages.size(); ++i)
            win.answers.expectMessage();
        win.w.show();
        win.w.openFiles(names);
        QCOMPARE(win.answers.messages(), messages);
        QCOMPARE(win.rows(), rows);
        // Named relative to where the program was started, opened by its full name.
        const QString file = shown == "@"      ? MainWindow::previewPath()
                             : shown.isEmpty() ? QString()
                                               : win.scratch.path(shown);
        QCOMPARE(win.w.current_file, file);
        QCOMPARE(win.w.ui->ExternalLabel->text(),
                 file.isEmpty() ? "    Materials Table     " : QFileInfo(file).fileName() + "   ");
    }

    void workingFileWhereItCanBeWritten()
    {
        Window win;
        MainWindow::setProgramFolder(win.scratch.path("program"));
        QVERIFY(QDir().mkdir(win.scratch.path("program")));
        QCOMPARE(MainWindow::previewPath(), win.scratch.path("program/mtlsView.bin"));
        // A plain file where the folder should be: no one, root included, can write into it.
        QVERIFY(QDir(win.scratch.path("program")).removeRecursively());
        QVERIFY(writeFile(win.scratch.path("program"), "installed"));
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QVERIFY(QDir(data).removeRecursively());
        QCOMPARE(MainWindow::previewPath(), data + "/mtlsView.bin");

        win.w.openFiles({"lib.mtls"});
        callAdd(win.w, "Car_ALPHA", "yCS_gear::Normal");
        win.w.swap_pending = true;
        win.w.swap_row = 0;
        callAdd(win.w, "Body_ALPHA", "yCS_skin::Normal");
        QCOMPARE(win.w.current_file, data + "/mtlsView.bin");
        const auto block = mtls::decode(readFile(data + "/mtlsView.bin"));
        QVERIFY(block && block->materials.size() == 2);
        QCOMPARE(rowTexts(win.w.ui->ExternalTable, 0, 2).mid(0, 2),
                 (QStringList{"yCS_skin", "Body_ALPHA"}));
        QCOMPARE(text(win.w.ui->ExternalTable, 1, 3), QStringLiteral("Car_ALPHA"));
        win.w.openFiles({"car.mdl"});
        QCOMPARE(win.w.current_file, data + "/mtlsView.bin");
        QCOMPARE(win.rows(), 2);
        QCOMPARE(readFile(win.scratch.path("program")), QByteArray("installed"));
        QVERIFY(win.answers.messages().isEmpty());
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
