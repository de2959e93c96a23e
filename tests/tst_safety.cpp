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

#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

using namespace testdata;
using namespace testwindow;

namespace {

const QByteArray Old("old library bytes"), Absent("<absent>");
const QString Saved = QStringLiteral("File Saved Successfully.");

QByteArray contents(const QString& path)
{
    return QFileInfo(path).isFile() ? readFile(path) : Absent;
}

// The example library with more dictionary strings after tex_d (the first at offset 35).
QByteArray exampleWith(const QStringList& extra, const QVector<RawItem>& items, quint16 name = 0)
{
    return buildBlock(QStringList{"mat", "yCS_gear", "Normal", "colorMap", "tex_d"} + extra,
                      {{name, 4, 13, {1, 2, 3, 4}, quint16(items.size()), items}});
}

// Its name is the string after the dictionary, at 65535: past what a save can refer to.
const QByteArray Limit = exampleWith({QString(65499, 'x')}, {entry4(20, 29)}, 65535);

// What `mtls` is given and says (stderr, stdout and its exit status, paths relative), and what
// out.mtls holds after it.
struct ToolCase {
    QByteArray in;
    QString command, said;
    QByteArray out = Absent;
};

} // namespace

Q_DECLARE_METATYPE(ToolCase)

class TestSafety : public QObject {
    Q_OBJECT

private slots:
    // A refused or failed save leaves the output as it was and the window on its file; an
    // output in full/ meets a full disk, where the old bytes must be written back.
    // A folder stands where the catalogue would be written: what the loads learn serves the
    // session, and the status bar says so once.
    void editorSavesWholeOrNothing_data()
    {
        QTest::addColumn<QByteArray>("library");
        QTest::addColumn<QString>("output"); // an "old" file is there before the save
        QTest::addColumn<QString>("message");
        const QByteArray big = exampleWith({QString(30000, 'f')}, {entry4(20, 29)});
        QTest::newRow("over its file") << Limit << "in.mtls" << QString("String Limit Reached");
        // hashB (type 5) shows no value cell: the cell after it is a name without a type line.
        QTest::newRow("name after a hash")
            << exampleWith({"a/b", "hashB"}, {entry4(20, 29), entry5(39, 0), entry1(35, 7, 8)})
            << "old.mtls" << QString("Unknown parameter type: a/b");
        QTest::newRow("no temporary file") << big << "old.mtls" << Saved;
        const QString full = "Cannot write file : No space left on device";
        QTest::newRow("disk full, old file") << big << "full/old.mtls" << full;
        QTest::newRow("disk full, new file") << big << "full/new.mtls" << full;
        QTest::newRow("disk full, beside a temporary file") << big << "full/old.mtls" << full;
    }

    void editorSavesWholeOrNothing()
    {
        QFETCH(QByteArray, library);
        QFETCH(QString, output);
        QFETCH(QString, message);
        // Unless the row says otherwise no folder takes a temporary file: the window's writes go
        // in place, as in a read-only folder, where the plain open still lets them.
        const bool beside = QByteArray(QTest::currentDataTag()).contains("temporary");
        mtls::temporaryFileRefused = beside ? nullptr : +[](const QString&) { return true; };
        ScratchDirectory files(ScratchDirectory::UsersCatalogue);
        const QString in = files.path("in.mtls"), path = files.path(output);
        QVERIFY(writeFile(in, library) && QDir().mkdir("full") &&
                QDir().mkdir(ShaderCatalogue::DefaultFileName));
        const bool fill = output.startsWith("full/");
        if (fill && QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", "full"}))
            QSKIP("cannot mount a small memory file system here");
        const auto unmount = qScopeGuard([&] { fill ? QProcess::execute("umount", {"full"}) : 0; });
        QVERIFY(!output.contains("old") || writeFile(path, Old));
        writeFile("full/ballast", QByteArray(1 << 17, 'f')); // fills a mounted disk

        const QByteArray before = contents(path);
        AnsweredWindow window; // its answerer takes the file dialog and the one box after it
        for (int load = 0; load < 2; ++load)
            call(window.w, "open_mtl", in);
        const auto notices = window.w.statusBar()->findChildren<QLabel*>("catalogueNotice");
        QVERIFY(notices.size() == 1 &&
                notices[0]->text().contains(
                    QDir::toNativeSeparators(QDir::currentPath() + "/MTLs_Shaders.ini") +
                    systemWords(" cannot be saved (Is a directory)")));
        window.answers.expectFileDialog(path);
        window.answers.expectMessage();
        call(window.w, "on_pushButton_2_clicked");
        // A failed write says which file was not saved and why, under the window's own words.
        const QString detail = message.startsWith("Cannot")
                                   ? "\n" + path + ": not saved: " + message.section(" : ", 1)
                                   : QString();
        QCOMPARE(window.answers.messages(),
                 (QList<ModalAnswerer::Message>{{"Warning", message + detail}}));
        QCOMPARE(window.w.current_file, message == Saved ? path : in);
        QCOMPARE(contents(path), message == Saved ? library : before);
        // Nothing is left behind beside the ballast and the old file.
        QVERIFY(!fill || QDir("full").entryList(QDir::Files | QDir::Hidden).size() ==
                             1 + output.contains("old"));
    }

    // What mtls says and its exit status. Whatever the row, in.mtls keeps its bytes, and what c.ini
    // learnt must not spoil the example's shader: resaved after it, the example keeps its flag
    // words and its one shader.
    void toolKeepsTheData_data()
    {
        QTest::addColumn<ToolCase>("c");
        const QString resave = "resave in.mtls out.mtls --catalogue c.ini";
        const QByteArray example = exampleBlock();
        const QStringList names{"mat", "yCS_gear", "Normal", "colorMap", "tex_d", "Other"};
        const RawMaterial first{0, 4, 13, {1, 2, 3, 4}, 1, {entry4(20, 29)}};
        // The catalogue cannot be saved under a plain file: what the load learnt still serves.
        QTest::newRow("over its input") << ToolCase{
            Limit, "resave in.mtls in.mtls --catalogue plain/c.ini",
            "mtls: in.mtls: String Limit Reached\nmtls: " +
                QDir::toNativeSeparators("plain/c.ini") +
                ": cannot save the shader catalogue (Not a directory): what it learns holds for "
                "this run only\nexit 1"};
        // Its cut material teaches nothing and is never saved half: the whole one is saved.
        QTest::newRow("cut") << ToolCase{
            buildBlock(names, {first, {0, 4, 35, {5, 6, 7, 8}, 1, {entry4(20, 29)}}}).chopped(10),
            resave,
            "mtls: in.mtls: 1 of 2 materials read; the file ends inside material 1, which is left "
            "out\nmtls: in.mtls:100: material 1: parameter count cut off\nresave: 1 other change; "
            "`mtls check` lists them\nexit 1",
            buildBlock(names, {first})};
        QTest::newRow("count lies")
            << ToolCase{QByteArray(example).replace(48, 4, le32(2)), resave,
                        "mtls: in.mtls: 1 of 2 materials read; the file ends before material 1\n"
                        "mtls: in.mtls:78: 1 of 2 materials present\nexit 1",
                        example};
        for (const char* name : {"Flags/yCS_gear::Normal", "Shaders/x::y", "a\\b"})
            QTest::newRow(name) << ToolCase{
                exampleWith({name}, {entry4(20, 29), entry1(35, 7, 8)}), resave,
                QString("mtls: in.mtls: material 0 \"mat\": Unknown parameter type: %1\nexit 1")
                    .arg(name)};
        const QString usage = "\nRun mtls --help for the commands.\nexit 2";
        QTest::newRow("no command") << ToolCase{example, "", "mtls: no command given" + usage};
        QTest::newRow("no folder") << ToolCase{
            example, "from-model in.MDL", "mtls: from-model takes MODEL.mdl... -o DIR" + usage};
        QTest::newRow("unknown option") << ToolCase{
            example, "check --fast in.mtls", "mtls: unknown option --fast for check" + usage};
        QTest::newRow("a model") << ToolCase{
            example, "resave in.MDL out.mtls",
            "mtls: in.MDL: a model file is no library: open it in the editor\nexit 2"};
        // Every file is checked; one that cannot be read makes the status 2.
        QTest::newRow("check gone") << ToolCase{
            example.left(50), "check in.mtls gone.mtls lib.mtls",
            "mtls: gone.mtls: Cannot open file : No such file or directory\nin.mtls:48: material "
            "count cut off\nlib.mtls: ok\nexit 2"};
        QTest::newRow("check") << ToolCase{
            exampleWith({"myGlobalMap", "my/Map", "my\\Map"},
                        {entry4(20, 0), entry4(35, 29), entry4(47, 29), entry4(54, 29)}),
            "check in.mtls",
            "in.mtls:80: warning: a save refuses material 0 \"mat\": Unknown parameter type: "
            "tex_d\nin.mtls:102: warning: material 0 entry 0: texture value offset 0 has no cell, "
            "so a "
            "save takes the next cell for it\n"
            "in.mtls:106: warning: material 0 entry 1: parameter name \"myGlobalMap\" holds "
            "\"Global\", so a save cannot write it back\n"
            "in.mtls:114: warning: material 0 entry 2: parameter name \"my/Map\" holds \"/\", "
            "so a save cannot write it back\n"
            "in.mtls:122: warning: material 0 entry 3: parameter name \"my\\Map\" holds "
            "\"\\\", so a save cannot write it back\nexit 1"};
    }

    void toolKeepsTheData()
    {
        QFETCH(ToolCase, c);
        ScratchDirectory files;
        QVERIFY(writeFile("in.mtls", c.in) && writeFile("in.MDL", c.in) &&
                writeFile("plain", Old) && QDir().mkdir("folder"));
        QVERIFY(writeFile("lib.mtls", exampleBlock()));
        const auto run = [](const QString& command) {
            const testfiles::ToolRun mtls =
                testfiles::runTool(MTLS_BINARY, command.split(' ', Qt::SkipEmptyParts));
            return QString(mtls.err + mtls.text())
                       .remove(QDir::toNativeSeparators(QDir::currentPath() + '/')) +
                   "exit " + QString::number(mtls.status);
        };
        QCOMPARE(run(c.command), systemWords(c.said));
        QCOMPARE(contents("in.mtls"), c.in);
        QCOMPARE(contents("out.mtls"), c.out);
        QCOMPARE(run("resave lib.mtls lib2.mtls --catalogue c.ini"), QString("exit 0"));
        QCOMPARE(readFile("lib2.mtls"), exampleBlock());
        QCOMPARE(ShaderCatalogue("c.ini").shaderNames(), QStringList{"yCS_gear::Normal"});
    }

    // Cancel and OK in the dialog end the program once the window is closed; Exit ends it at
    // once, the dialog open.
    void dialogEndsTheProgramAfterTheWindow()
    {
        for (const QString answer : {"Cancel", "OK", "Cancel, window open", "Exit"}) {
            ScratchDirectory files;
            AnsweredWindow window;
            window.w.show();
            window.w.dialog->show();
            QTimer::singleShot(0, &window.w, [&] { // its hide ends the program from the loop
                if (answer == "Exit")
                    return window.w.ui->actionExit->trigger();
                if (!answer.endsWith("open"))
                    window.w.close();
                answer == "OK" ? window.w.dialog->table_refresh({"m", "yCS_gear::Normal"})
                               : window.w.dialog->clicked4();
            });
            // Gives up on a program left running; goes with the window, so no later loop ends.
            QTimer::singleShot(3000, &window.w, [] { QCoreApplication::exit(7); });
            QCOMPARE(QApplication::exec(), answer.endsWith("open") ? 7 : 0);
            QVERIFY(answer == "Exit" || !window.w.dialog->isVisible());
        }
    }
};

QTEST_MAIN(TestSafety)
#include "tst_safety.moc"
