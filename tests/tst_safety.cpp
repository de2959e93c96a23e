// The user's data under refused, failed and hostile saves: no file changes unless it is
// written whole, the catalogue learns only what is real, and what cannot be kept is said.
#include "app/mainwindow.h"
#include "authoring/dialog.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/libraryfile.h"
#include "support/core/blockbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QtTest>

using namespace testdata;
using namespace testwindow;

namespace {

using Messages = QList<ModalAnswerer::Message>;
const QByteArray Old("old library bytes");
const QByteArray Absent("<absent>");
const QString Saved = QStringLiteral("File Saved Successfully.");

QByteArray contents(const QString& path)
{
    return QFileInfo(path).isFile() ? readFile(path) : Absent;
}

struct ToolRun {
    int status = -1;
    QString out, err;
};

ToolRun runTool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(MTLS_BINARY), arguments);
    process.waitForFinished(60000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// The example library with one more dictionary string, unused, after tex_d (offset 35).
QByteArray exampleWith(const QString& extra, const QVector<RawItem>& items = {entry4(20, 29)},
                       quint16 name = 0)
{
    return buildBlock({"mat", "yCS_gear", "Normal", "colorMap", "tex_d", extra},
                      {{name, 4, 13, {1, 2, 3, 4}, quint16(items.size()), items}});
}

// Its name is the string after the dictionary, at 65535: past what a save can refer to.
const QByteArray Limit = exampleWith(QString(65499, 'x'), {entry4(20, 29)}, 65535);

// A window whose dialog goes with it, that answers Yes when asked to replace a file.
struct Window : QObject {
    MainWindow w;
    Window() { qApp->installEventFilter(this); }
    ~Window() override { delete w.dialog; }
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* box = qobject_cast<QMessageBox*>(object);
        if (box && event->type() == QEvent::Show && box->text().contains("already exists"))
            QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Yes)->click(); });
        return false;
    }
    Messages save(const QString& path) // the file dialog and the one box after it
    {
        ModalAnswerer answers;
        answers.expectFileDialog(path);
        answers.expectMessage();
        call(w, "on_pushButton_2_clicked");
        return answers.messages();
    }
};

struct SaveCase {
    bool editor;
    QByteArray library;
    QString output;
    QString folder; // "": ordinary, "temp": takes no temporary file, "full": neither, disk full
    QString message;
};

} // namespace

Q_DECLARE_METATYPE(SaveCase)

class TestSafety : public QObject {
    Q_OBJECT

private slots:
    // Every save that is refused or fails leaves the output as it was; a folder that takes no
    // temporary file still takes the file itself, as its plain open allows.
    void saveTouchesTheOutputOnlyWhenItSucceeds_data()
    {
        QTest::addColumn<SaveCase>("c");
        const QString limit = "String Limit Reached";
        const QByteArray big = exampleWith(QString(30000, 'f'));
        QTest::newRow("tool over its input") << SaveCase{false, Limit, "in.mtls", "", limit};
        QTest::newRow("tool to a new file") << SaveCase{false, Limit, "new.mtls", "", limit};
        QTest::newRow("editor over its file") << SaveCase{true, Limit, "in.mtls", "", limit};
        QTest::newRow("editor over a file") << SaveCase{true, big, "old.mtls", "temp", Saved};
        QTest::newRow("editor over a file, disk full") << SaveCase{
            true, big, "disk/old.mtls", "full", "Cannot write file : No space left on device"};
        QTest::newRow("tool onto a folder") << SaveCase{false, exampleBlock(), "old.mtls/", "",
                                                        "Cannot open file : Is a directory"};
    }

    void saveTouchesTheOutputOnlyWhenItSucceeds()
    {
        QFETCH(SaveCase, c);
        const auto& [editor, library, output, folder, message] = c;
        ScratchDirectory files;
        const QString in = files.path("in.mtls"), disk = files.path("disk"),
                      path = files.path(output);
        QVERIFY(writeFile(in, library) && QDir().mkpath(disk));
        if (folder == "full" &&
            QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", disk}))
            QSKIP("cannot mount a small memory file system here");
        const auto unmount =
            qScopeGuard([&] { folder == "full" && QProcess::execute("umount", {disk}); });
        QVERIFY(output.endsWith('/') ? QDir().mkpath(path)
                                     : output != "old.mtls" || writeFile(path, Old));
        QFile ballast(disk + "/ballast");
        QVERIFY(ballast.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (folder == "full" && ballast.write(QByteArray(4096, 'f')) == 4096)
            continue;
        ballast.close();
        if (!folder.isEmpty())
            mtls::temporaryFileRefused = [](const QString&) { return true; };
        const auto restore = qScopeGuard([] { mtls::temporaryFileRefused = nullptr; });

        const QByteArray before = contents(path);
        if (editor) {
            Window window;
            call(window.w, "open_mtl", in);
            const QStringList shown = rowTexts(window.w.ui->ExternalTable, 0);
            QCOMPARE(window.save(path), (Messages{{"Warning", message}}));
            QCOMPARE(window.w.current_file, message == Saved ? path : in);
            QCOMPARE(rowTexts(window.w.ui->ExternalTable, 0), shown);
        } else {
            QCOMPARE(runTool({"resave", "in.mtls", output, "--catalogue", "c.ini"}).err,
                     "mtls: " + output + ": " + message + "\n");
        }
        QCOMPARE(contents(path), message == Saved ? library : before);
    }

    // hashA (type 5) shows no value: the renamed cell after it is a name the catalogue lacks.
    void hashEntryIsFollowedByAName()
    {
        ScratchDirectory files;
        Window window;
        QVERIFY(writeFile(files.path("in.mtls"),
                          exampleWith("hashA", {entry4(20, 29), entry5(35, 0), entry1(20, 0, 0)})));
        call(window.w, "open_mtl", files.path("in.mtls"));
        QCOMPARE(window.w.ui->ExternalTable->item(0, 8)->text(), QString("hashA"));
        window.w.ui->ExternalTable->item(0, 9)->setText("renamed");
        QCOMPARE(window.save(files.path("out.mtls")),
                 (Messages{{"Warning", "Unknown parameter type: renamed"}}));
        QCOMPARE(contents(files.path("out.mtls")), Absent);
    }

    // What `first` teaches must not spoil the example's shader: saved after it, the example
    // keeps its flag words and stays the only shader.
    void catalogueLearnsOnlyWhatIsReal_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QString>("refusal"); // of the save of `first`
        QTest::newRow("truncated before its count") << exampleBlock().left(66) << QString();
        QTest::newRow("no entries, no flags")
            << buildBlock({"m", "yCS_gear", "Normal"}, {{0, 2, 11, {0, 0, 0, 0}, 0, {}}})
            << QString();
        for (const char* name : {"Flags/yCS_gear::Normal", "Shaders/x::y", "Params/x::y", "a\\b"})
            QTest::newRow(name) << exampleWith(name, {entry4(20, 29), entry1(35, 7, 8)})
                                << QString("Unknown parameter type: %1\n").arg(name);
    }

    void catalogueLearnsOnlyWhatIsReal()
    {
        QFETCH(QByteArray, first);
        QFETCH(QString, refusal);
        ScratchDirectory files;
        QVERIFY(writeFile(files.path("first.mtls"), first));
        QVERIFY(writeFile(files.path("lib.mtls"), exampleBlock()));
        const ToolRun run = runTool({"resave", "first.mtls", "out.mtls", "--catalogue", "c.ini"});
        QVERIFY2(run.err.endsWith(refusal), qPrintable(run.err));
        QCOMPARE(runTool({"resave", "lib.mtls", "out.mtls", "--catalogue", "c.ini"}).status, 0);
        QCOMPARE(readFile(files.path("out.mtls")), exampleBlock());
        QCOMPARE(ShaderCatalogue(files.path("c.ini")).shaderNames(),
                 QStringList{"yCS_gear::Normal"});
    }

    // A folder stands where the catalogue would be written, or a plain file where its folder is.
    void unwritableCatalogueServesTheSession()
    {
        ScratchDirectory files;
        QVERIFY(QDir().mkdir(files.path(ShaderCatalogue::DefaultFileName)));
        QVERIFY(QDir().mkdir(files.path("folder")));
        QVERIFY(writeFile(files.path("lib.mtls"), exampleBlock()));
        QVERIFY(writeFile(files.path("plain"), Old));
        {
            Window window;
            for (int load = 0; load < 2; ++load)
                call(window.w, "open_mtl", files.path("lib.mtls"));
            const auto notices = window.w.statusBar()->findChildren<QLabel*>("catalogueNotice");
            QCOMPARE(notices.size(), 1);
            QVERIFY(notices.first()->text().contains(files.path(ShaderCatalogue::DefaultFileName) +
                                                     " cannot be saved (Is a directory)"));
            QCOMPARE(window.save(files.path("out.mtls")), (Messages{{"Warning", Saved}}));
            QCOMPARE(readFile(files.path("out.mtls")), exampleBlock());
        }
        for (const auto& [catalogue, reason] : {std::make_pair("folder", "Is a directory"),
                                                std::make_pair("plain/c.ini", "Not a directory")}) {
            const ToolRun run =
                runTool({"resave", "lib.mtls", "tool.mtls", "--catalogue", catalogue});
            QCOMPARE(run.err, QString("mtls: %1: cannot save the shader catalogue (%2): what it "
                                      "learns holds for this run only\n")
                                  .arg(files.path(catalogue), reason));
            QCOMPARE(run.status, 0);
            QCOMPARE(readFile(files.path("tool.mtls")), exampleBlock());
        }
    }

    void lossesAreSaid_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("report"); // check: its output; resave: its errors
        const QString entry = "lib.mtls:%1: warning: material 0 entry 0: ";
        QTest::newRow("resave of a truncated library")
            << exampleBlock().left(48) + le32(2) + exampleBlock().mid(52)
            << "mtls: lib.mtls: 1 of 2 materials read; the file ends before material 1\n"
               "mtls: lib.mtls:78: 1 of 2 materials present\n";
        QTest::newRow("texture at offset 0")
            << exampleWith("x", {entry4(20, 0)})
            << entry.arg(78) + "texture value offset 0 has no cell, so a save takes the next "
                               "cell for it\n";
        QTest::newRow("type 6") << exampleWith("x", {{20, 6, le32(0)}})
                                << entry.arg(76) + "type 6 cannot be saved\n";
        for (const char* part : {"Global", "/", "\\"})
            QTest::newRow(part) << exampleWith(QString("my%1Map").arg(part), {entry4(35, 29)})
                                << entry.arg(part[1] ? 82 : 78) +
                                       QString("parameter name \"my%1Map\" holds \"%1\", so a "
                                               "save cannot write it back\n")
                                           .arg(part);
    }

    void lossesAreSaid()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, report);
        ScratchDirectory files;
        QVERIFY(writeFile(files.path("lib.mtls"), bytes));
        const bool resave = report.startsWith("mtls: ");
        const ToolRun run = runTool(resave ? QStringList{"resave", "lib.mtls", "out.mtls"}
                                           : QStringList{"check", "lib.mtls"});
        QCOMPARE(resave ? run.err : run.out, report);
        QCOMPARE(run.status, 1);
        QCOMPARE(contents(files.path("out.mtls")), resave ? exampleBlock() : Absent);
    }

    void truncationNoticeIsCleared_data()
    {
        QTest::addColumn<QString>("next"); // the file loaded next, "" for Clear View
        for (const char* next : {"", "lib.mtls", "gone.mtls", "bad.mtls"})
            QTest::newRow(*next ? next : "Clear View") << next;
    }

    void truncationNoticeIsCleared()
    {
        QFETCH(QString, next);
        ScratchDirectory files;
        QVERIFY(writeFile(files.path("cut.mtls"), exampleBlock().left(60)));
        QVERIFY(writeFile(files.path("lib.mtls"), exampleBlock()));
        QVERIFY(writeFile(files.path("bad.mtls"), Old));
        Window window;
        ModalAnswerer answers; // closes the boxes of the failed loads
        call(window.w, "open_mtl", files.path("cut.mtls"));
        QCOMPARE(window.w.statusBar()->currentMessage(),
                 QString("The file is truncated: 0 of 1 materials could be read."));
        if (next.isEmpty())
            call(window.w, "on_actionQueue_All_triggered");
        else
            call(window.w, "open_mtl", files.path(next));
        QCOMPARE(window.w.statusBar()->currentMessage(), QString());
    }

    void dialogEndsTheProgramAfterTheWindow_data()
    {
        QTest::addColumn<QString>("answer");
        for (const char* answer : {"Cancel", "OK", "Cancel, window open"})
            QTest::newRow(answer) << answer;
    }

    void dialogEndsTheProgramAfterTheWindow()
    {
        QFETCH(QString, answer);
        const bool closed = !answer.endsWith("open");
        ScratchDirectory files;
        Window window;
        window.w.show();
        window.w.dialog->show();
        QTimer::singleShot(0, &window.w, [&] {
            if (closed)
                window.w.close();
            if (answer == "OK")
                QMetaObject::invokeMethod(
                    &window.w, "dialog_clicked",
                    Q_ARG(QStringList, (QStringList{"m", "yCS_gear::Normal"})));
            else
                call(window.w, "hide_dialog");
        });
        QTimer giveUp; // dies with the test, so that it cannot end a later event loop
        connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(7); });
        giveUp.start(3000);
        QCOMPARE(QApplication::exec(), closed ? 0 : 7);
        QVERIFY(!window.w.dialog->isVisible());
    }
};

QTEST_MAIN(TestSafety)
#include "tst_safety.moc"
