// How the editor meets the desktop: the file it is started with, and the working file when the
// program's own folder cannot be written.
#include "app/mainwindow.h"
#include "authoring/dialog.h"
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

// lib.mtls (one material), car.mdl (two) and bad.mtls in the current directory.
struct Window {
    ScratchDirectory scratch;
    MainWindow w;
    ModalAnswerer answers;
    QTableWidget* materials = w.ui->ExternalTable;
    Window()
    {
        testsupport::ModelBuilder model;
        model.names({"J_Hips", "Eye_L", "Body"}).materials({1, 2}).end();
        if (!writeFile("lib.mtls", testdata::exampleBlock()) ||
            !writeFile("car.mdl", model.build()) || !writeFile("bad.mtls", "not a library"))
            qFatal("cannot write the test files");
    }
    ~Window()
    {
        delete w.dialog;
        QFile::remove(MainWindow::previewPath());
        MainWindow::setProgramFolder(QString());
    }
};

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void startedWithFiles_data()
    {
        // The file the window shows ("" none, "@" the working file) and the warning it gave,
        // answered with OK.
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("warning");
        const QString missing = "Cannot open file : No such file or directory";
        QTest::newRow("library") << QStringList{"lib.mtls"} << "lib.mtls" << QString();
        QTest::newRow("model") << QStringList{"car.mdl"} << "@" << QString();
        QTest::newRow("missing") << QStringList{"gone.mtls"} << "" << missing;
        QTest::newRow("not a library") << QStringList{"bad.mtls"} << QString() << "Invalid File";
        QTest::newRow("several") << QStringList{"lib.mtls", "car.mdl"} << "lib.mtls" << QString();
        QTest::newRow("first missing") << QStringList{"gone.mtls", "lib.mtls"} << "" << missing;
        QTest::newRow("none") << QStringList{} << "" << QString();
    }
    void startedWithFiles()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, shown);
        QFETCH(QString, warning);
        Window win;
        win.w.show();
        win.w.openFiles(names);
        const Messages expected{{"Warning", warning}};
        QCOMPARE(win.answers.messages(), warning.isEmpty() ? Messages{} : expected);
        // Named relative to where the program was started, opened by its full name.
        QCOMPARE(win.w.current_file, shown == "@"      ? MainWindow::previewPath()
                                     : shown.isEmpty() ? QString()
                                                       : win.scratch.path(shown));
        QCOMPARE(win.materials->rowCount(), shown == "lib.mtls" ? 1 : 2);
    }

    void workingFileWhereItCanBeWritten()
    {
        Window win;
        const QString program = win.scratch.path("program");
        MainWindow::setProgramFolder(program);
        QVERIFY(QDir().mkdir(program));
        QCOMPARE(MainWindow::previewPath(), program + "/mtlsView.bin");
        // A plain file where the folder should be: no one, root included, can write into it.
        QVERIFY(QDir().rmdir(program) && writeFile(program, "installed"));
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        const QString working = data + "/mtlsView.bin";
        QVERIFY(QDir(data).removeRecursively() && MainWindow::previewPath() == working);

        // Adding, replacing and a model import all go through the working file.
        win.w.openFiles({"lib.mtls"});
        callAdd(win.w, "Car_ALPHA", "yCS_gear::Normal");
        win.w.swap_pending = true;
        win.w.swap_row = 0;
        callAdd(win.w, "Body_ALPHA", "yCS_skin::Normal");
        QCOMPARE(win.w.current_file, working);
        QCOMPARE(text(win.materials, 0, 3) + "," + text(win.materials, 1, 3),
                 "Body_ALPHA,Car_ALPHA");
        win.w.openFiles({"car.mdl"});
        QVERIFY(win.w.current_file == working && win.materials->rowCount() == 2);
        QCOMPARE(readFile(program), QByteArray("installed"));
        QVERIFY(win.answers.messages().isEmpty());
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
