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

QByteArray contents(const QString& path)
{
    return QFileInfo(path).isFile() ? readFile(path) : Absent;
}

struct ToolRun {
    int status = -1;
    QString out;
    QString err;
};

ToolRun runTool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(MTLS_BINARY), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// The example library with one more dictionary string, unused, after tex_d (offset 35).
QByteArray exampleWith(const QString& extra, const QVector<RawItem>& items = {entry4(20, 29)})
{
    return buildBlock({"mat", "yCS_gear", "Normal", "colorMap", "tex_d", extra},
                      {{0, 4, 13, {1, 2, 3, 4}, quint16(items.size()), items}});
}

// Its name sits at 65535, past what a save can refer to.
QByteArray limitBlock()
{
    const QStringList dictionary{
        "mat", "yCS_gear", "Normal", "colorMap", "tex_d", QString(65499, QLatin1Char('x')), "big"};
    return buildBlock(dictionary, {{65535, 4, 13, {1, 2, 3, 4}, 1, {entry4(20, 29)}}});
}

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
    Messages save(const QString& path, int boxes)
    {
        ModalAnswerer answers;
        answers.expectFileDialog(path);
        for (int i = 0; i < boxes; ++i)
            answers.expectMessage();
        call(w, "on_pushButton_2_clicked");
        return answers.messages();
    }
};

bool refuseAll(const QString&)
{
    return true;
}

} // namespace

class TestSafety : public QObject {
    Q_OBJECT

private slots:
    void refusedSaveChangesNoFile_data();
    void refusedSaveChangesNoFile();
    void hashEntryIsFollowedByAName();
    void emptyRecordTeachesNothing_data();
    void emptyRecordTeachesNothing();
    void namesWithGroupsTeachNothing_data();
    void namesWithGroupsTeachNothing();
    void unwritableCatalogueServesTheSession();
    void lossesAreSaid_data();
    void lossesAreSaid();
    void folderWithoutTemporaryFiles_data();
    void folderWithoutTemporaryFiles();
    void truncationNoticeIsCleared_data();
    void truncationNoticeIsCleared();
    void dialogEndsTheProgramAfterTheWindow_data();
    void dialogEndsTheProgramAfterTheWindow();
};

void TestSafety::refusedSaveChangesNoFile_data()
{
    QTest::addColumn<bool>("editor");
    QTest::addColumn<QString>("output");
    QTest::newRow("tool over its input") << false << "in.mtls";
    QTest::newRow("tool to a new file") << false << "new.mtls";
    QTest::newRow("editor over the opened file") << true << "in.mtls";
    QTest::newRow("editor to a new file") << true << "new.mtls";
}

void TestSafety::refusedSaveChangesNoFile()
{
    QFETCH(bool, editor);
    QFETCH(QString, output);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("in.mtls"), limitBlock()));
    const QByteArray before = contents(files.path(output));
    if (editor) {
        Window window;
        call(window.w, "open_mtl", files.path("in.mtls"));
        const QStringList shown = rowTexts(window.w.ui->ExternalTable, 0);
        QCOMPARE(window.save(files.path(output), 1),
                 (Messages{{"Warning", "String Limit Reached"}}));
        QCOMPARE(window.w.current_file, files.path("in.mtls"));
        QCOMPARE(rowTexts(window.w.ui->ExternalTable, 0), shown);
    } else {
        const ToolRun run = runTool({"resave", "in.mtls", output, "--catalogue", "c.ini"});
        QCOMPARE(run.err, "mtls: " + output + ": String Limit Reached\n");
        QCOMPARE(run.status, 1);
    }
    QCOMPARE(contents(files.path(output)), before);
}

// hashA (type 5) shows no value: the renamed cell after it is a name the catalogue lacks.
void TestSafety::hashEntryIsFollowedByAName()
{
    ScratchDirectory files;
    Window window;
    QVERIFY(writeFile(files.path("in.mtls"),
                      exampleWith("hashA", {entry4(20, 29), entry5(35, 0), entry1(20, 0, 0)})));
    call(window.w, "open_mtl", files.path("in.mtls"));
    QCOMPARE(rowTexts(window.w.ui->ExternalTable, 0, 6).mid(0, 4),
             (QStringList{"colorMap", "tex_d", "hashA", "colorMap"}));
    window.w.ui->ExternalTable->item(0, 9)->setText("renamed");
    QCOMPARE(window.save(files.path("out.mtls"), 1),
             (Messages{{"Warning", "Unknown parameter type: renamed"}}));
    QCOMPARE(contents(files.path("out.mtls")), Absent);
}

void TestSafety::emptyRecordTeachesNothing_data()
{
    QTest::addColumn<QByteArray>("first"); // resaved before the real library of the shader
    QTest::newRow("truncated before its count") << exampleBlock().left(66);
    QTest::newRow("no entries, no flags")
        << buildBlock({"m", "yCS_gear", "Normal"}, {{0, 2, 11, {0, 0, 0, 0}, 0, {}}});
}

void TestSafety::emptyRecordTeachesNothing()
{
    QFETCH(QByteArray, first);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("first.mtls"), first));
    QVERIFY(writeFile(files.path("lib.mtls"), exampleBlock()));
    runTool({"resave", "first.mtls", "first_out.mtls", "--catalogue", "c.ini"});
    QCOMPARE(ShaderCatalogue(files.path("c.ini")).shaderNames(), QStringList());
    QCOMPARE(runTool({"resave", "lib.mtls", "out.mtls", "--catalogue", "c.ini"}).status, 0);
    QCOMPARE(readFile(files.path("out.mtls")), exampleBlock());
}

void TestSafety::namesWithGroupsTeachNothing_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"Flags/yCS_gear::Normal", "Shaders/x::y", "Params/x::y", "a\\b"})
        QTest::newRow(name) << name;
}

void TestSafety::namesWithGroupsTeachNothing()
{
    QFETCH(QString, name);
    ScratchDirectory files;
    QVERIFY(
        writeFile(files.path("bad.mtls"), exampleWith(name, {entry4(20, 29), entry1(35, 7, 8)})));
    QVERIFY(writeFile(files.path("lib.mtls"), exampleBlock()));
    const ToolRun bad = runTool({"resave", "bad.mtls", "out.mtls", "--catalogue", "c.ini"});
    QCOMPARE(bad.err, "mtls: out.mtls: Unknown parameter type: " + name + "\n");
    QCOMPARE(runTool({"resave", "lib.mtls", "out.mtls", "--catalogue", "c.ini"}).status, 0);
    QCOMPARE(readFile(files.path("out.mtls")), exampleBlock());
    QCOMPARE(ShaderCatalogue(files.path("c.ini")).shaderNames(), QStringList{"yCS_gear::Normal"});
}

// A folder stands where the catalogue would be written, or a plain file where its folder is.
void TestSafety::unwritableCatalogueServesTheSession()
{
    ScratchDirectory files;
    QVERIFY(QDir().mkdir(files.path(ShaderCatalogue::DefaultFileName)));
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
        QCOMPARE(window.save(files.path("out.mtls"), 1),
                 (Messages{{"Warning", "File Saved Successfully."}}));
        QCOMPARE(readFile(files.path("out.mtls")), exampleBlock());
    }
    for (const auto& [catalogue, reason] : {std::make_pair("folder", "Is a directory"),
                                            std::make_pair("plain/c.ini", "Not a directory")}) {
        QVERIFY(QDir().mkpath(files.path("folder")));
        const ToolRun run = runTool({"resave", "lib.mtls", "tool.mtls", "--catalogue", catalogue});
        QCOMPARE(run.err, QString("mtls: %1: cannot save the shader catalogue (%2): what it "
                                  "learns holds for this run only\n")
                              .arg(files.path(catalogue), reason));
        QCOMPARE(run.status, 0);
        QCOMPARE(readFile(files.path("tool.mtls")), exampleBlock());
    }
}

void TestSafety::lossesAreSaid_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("report"); // check: its output; resave: its errors
    const QString entry = "lib.mtls:%1: warning: material 0 entry 0: ";
    QTest::newRow("resave of a truncated library")
        << "resave" << exampleBlock().left(48) + le32(2) + exampleBlock().mid(52)
        << "mtls: lib.mtls: 1 of 2 materials read; the file ends before material 1\n"
           "mtls: lib.mtls:78: 1 of 2 materials present\n";
    QTest::newRow("texture at offset 0")
        << "check" << exampleWith("x", {entry4(20, 0)})
        << entry.arg(78) + "texture value offset 0 has no cell, so a save takes the next cell "
                           "for it\n";
    QTest::newRow("type 6") << "check" << exampleWith("x", {{20, 6, le32(0)}})
                            << entry.arg(76) + "type 6 cannot be saved\n";
    for (const char* part : {"Global", "/", "\\"})
        QTest::newRow(part) << "check"
                            << exampleWith(QString("my%1Map").arg(part), {entry4(35, 29)})
                            << entry.arg(part[1] ? 82 : 78) +
                                   QString("parameter name \"my%1Map\" holds \"%1\", so a save "
                                           "cannot write it back\n")
                                       .arg(part);
}

void TestSafety::lossesAreSaid()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, report);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("lib.mtls"), bytes));
    const bool resave = command == "resave";
    const ToolRun run = runTool(resave ? QStringList{"resave", "lib.mtls", "out.mtls"}
                                       : QStringList{"check", "lib.mtls"});
    QCOMPARE(resave ? run.err : run.out, report);
    QCOMPARE(run.status, 1);
    QCOMPARE(contents(files.path("out.mtls")), resave ? exampleBlock() : Absent);
}

void TestSafety::folderWithoutTemporaryFiles_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("message");
    QTest::newRow("over a file") << "old.mtls"
                                 << "File Saved Successfully.";
    QTest::newRow("over a file on a full disk") << "disk/old.mtls"
                                                << "Cannot write file : No space left on device";
    QTest::newRow("over a folder, by the tool") << "old.mtls/"
                                                << "Cannot open file : Is a directory";
}

void TestSafety::folderWithoutTemporaryFiles()
{
    QFETCH(QString, output);
    QFETCH(QString, message);
    ScratchDirectory files;
    const QString disk = files.path("disk");
    QVERIFY(QDir().mkpath(disk));
    const QString path = files.path(output);
    if (output.endsWith('/')) {
        QVERIFY(QDir().mkpath(path));
        QVERIFY(writeFile(files.path("lib.mtls"), exampleBlock()));
        const ToolRun run = runTool({"resave", "lib.mtls", path});
        QCOMPARE(run.err, "mtls: " + path + ": " + message + "\n");
        QVERIFY(QFileInfo(path).isDir());
        return;
    }
    if (output.startsWith("disk") &&
        QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", disk}) != 0)
        QSKIP("cannot mount a small memory file system here");
    const auto unmount = qScopeGuard([&disk] { QProcess::execute("umount", {"-q", disk}); });
    QVERIFY(writeFile(path, Old));
    QFile ballast(disk + "/ballast");
    QVERIFY(ballast.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (output.startsWith("disk") && ballast.write(QByteArray(4096, 'f')) == 4096)
        continue;
    ballast.close();

    mtls::temporaryFileRefused = refuseAll;
    const auto restore = qScopeGuard([] { mtls::temporaryFileRefused = nullptr; });
    Window window;
    const QByteArray library = exampleWith(QString(30000, 'f'));
    QVERIFY(writeFile(files.path("lib.mtls"), library));
    call(window.w, "open_mtl", files.path("lib.mtls"));
    QCOMPARE(window.save(path, 1), (Messages{{"Warning", message}}));
    const bool saved = message.startsWith("File Saved");
    QCOMPARE(readFile(path), saved ? library : Old);
    QCOMPARE(window.w.current_file, saved ? path : files.path("lib.mtls"));
}

void TestSafety::truncationNoticeIsCleared_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("next"); // the file loaded next, "" for none
    QTest::newRow("Clear View") << "on_actionQueue_All_triggered" << QString();
    QTest::newRow("next load") << "open_mtl"
                               << "lib.mtls";
    QTest::newRow("failed load: no file") << "open_mtl"
                                          << "gone.mtls";
    QTest::newRow("failed load: no library") << "open_mtl"
                                             << "bad.mtls";
}

void TestSafety::truncationNoticeIsCleared()
{
    QFETCH(QString, slot);
    QFETCH(QString, next);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("cut.mtls"), exampleBlock().left(60)));
    QVERIFY(writeFile(files.path("lib.mtls"), exampleBlock()));
    QVERIFY(writeFile(files.path("bad.mtls"), Old));
    Window window;
    ModalAnswerer answers;
    call(window.w, "open_mtl", files.path("cut.mtls"));
    QCOMPARE(window.w.statusBar()->currentMessage(),
             QString("The file is truncated: 0 of 1 materials could be read."));
    if (next.isEmpty())
        call(window.w, qPrintable(slot));
    else
        call(window.w, qPrintable(slot), files.path(next));
    QCOMPARE(window.w.statusBar()->currentMessage(), QString());
}

void TestSafety::dialogEndsTheProgramAfterTheWindow_data()
{
    QTest::addColumn<bool>("closeWindow");
    QTest::addColumn<bool>("ok");
    QTest::newRow("Cancel") << true << false;
    QTest::newRow("OK") << true << true;
    QTest::newRow("Cancel, window open") << false << false;
}

void TestSafety::dialogEndsTheProgramAfterTheWindow()
{
    QFETCH(bool, closeWindow);
    QFETCH(bool, ok);
    ScratchDirectory files;
    Window window;
    ModalAnswerer answers;
    window.w.show();
    window.w.dialog->show();
    QTimer::singleShot(0, [&] {
        if (closeWindow)
            window.w.close();
        if (ok)
            QMetaObject::invokeMethod(&window.w, "dialog_clicked",
                                      Q_ARG(QStringList, (QStringList{"m", "yCS_gear::Normal"})));
        else
            call(window.w, "hide_dialog");
    });
    QTimer giveUp; // stopped with the test, so that it cannot end a later event loop
    giveUp.setSingleShot(true);
    connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    giveUp.start(3000);
    QCOMPARE(QApplication::exec(), closeWindow ? 0 : 7);
    QVERIFY(!window.w.dialog->isVisible());
}

QTEST_MAIN(TestSafety)
#include "tst_safety.moc"
