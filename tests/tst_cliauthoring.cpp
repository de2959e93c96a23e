// mtls and the window on the same files. The user's data under refused, failed and hostile
// saves: no file changes unless it is written whole, the catalogue learns only what is real, and
// what cannot be kept is said. mtls's resave and authoring commands against the window doing the
// same steps: the same bytes out, the same catalogue afterwards, the same refusals; a working
// write that is refused leaves the window as it was. And where texture hashes point: one table
// of libraries lying in different folders, each judged by the core, `mtls textures`, `mtls check
// --hashes` and the window's status bar, and a save into the library's own folder always giving
// hashes that match it.
#include "authoring/dialog.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/block.h"
#include "mtls/libraryfile.h"
#include "mtls/textures.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/core/rows.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QStatusBar>
#include <QtTest>

using namespace testdata;
using namespace testwindow;
using testfiles::runTool;

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

const auto tool = [](const QStringList& args) { return testfiles::runTool(MTLS_BINARY, args); };

const QStringList Dictionary = {"hero_body", "yCS_gear",  "Normal",    "colorMap",  "Hero_01_D",
                                "colorHash", "normalMap", "Hero_01_N", "normalHash"};

// Two like materials with the entries `items` in order: a "...Map" is a type-4 entry whose value
// (the string after it) is the texture the type-5 entries after it hash, as made for the
// folder `dir` ("": the working file's placeholder, 0xDEADDEAD). The hashed textures go to
// `textures`.
static QByteArray library(const QString& dir, const QString& items, QStringList& textures,
                          quint32 claimed = 2)
{
    const auto at = [](const QString& text) { return offsetOf(Dictionary, text); };
    // Named by the first string, hero_body, at 0.
    RawMaterial m{0, at("yCS_gear"), at("Normal"), {}, quint16(items.count(' ') + 1), {}};
    QString texture; // none until a type-4 entry names one
    for (const QString& name : items.split(' ')) {
        const bool map = name.endsWith("Map");
        texture = map ? Dictionary.at(Dictionary.indexOf(name) + 1) : texture;
        const QByteArray text = (dir + texture + ".tex").toLower().toUtf8();
        const quint64 hash = dir.isEmpty() ? 0xDEADDEAD : mtls::fnv1a_64(text);
        m.items << (map ? entry4(at(name), at(texture)) : entry5(at(name), hash));
        textures << (map ? QStringList() : QStringList(texture));
    }
    textures += textures; // twice: each material starts without a texture
    return buildBlock(Dictionary, {m, m}, claimed);
}

const char* const Plain = "colorMap colorHash normalMap normalHash";
const char* const Leading = "colorHash colorMap colorHash normalMap normalHash";
const char *const Match = "matches", *Other = "points to another folder";

// A library lying in a folder under the scratch folder with hashes made for hero_01's folder
// (for the working file: placeholders), its entries, what a save there hashes under (%1: the
// scratch folder) and the verdict on every hash.
const char* const Cases[][5] = {
    {"matching", "Characters/hero_01", Plain, "characters/hero_01/textures/", Match},
    {"other character", "mods/Characters/hero_02", Plain, "characters/hero_02/textures/", Other},
    {"no known folder", "downloads", Plain, "%1/downloads/textures/", Other},
    {"working file", "Characters/hero_01", Plain, "characters/hero_01/textures/", "placeholder"},
    {"no type-4 before", "Characters/hero_01", Leading, "characters/hero_01/textures/", Match},
    {"moved, no type-4 before", "Props/hero_01", Leading, "props/hero_01/textures/", Other},
    {"no hashes", "Characters/hero_01", "colorMap normalMap", "characters/hero_01/textures/", ""}};

static QString userCatalogue()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           "/lathrine/MTLs_Shaders.ini";
}

// Command lines run one after the other (";" between them) on the same files.
const char* const Runs[][2] = {
    {"learn", "learn ex.mtls lib.mtls"},
    {"add several", "learn ex.mtls;add lib.mtls x yCS_gear::Normal z yCS_head::Normal -o out.mtls"},
    {"replace", "replace lib.mtls 1 new yCS_head::Normal -o out.mtls"},
    {"add to a library the save cannot write",
     "learn ex.mtls;add odd.mtls x yCS_gear::Normal -o out.mtls"},
    {"from-model", "learn lib.mtls ex.mtls;from-model hero.mdl plain.mdl -o b"},
    {"resave", "resave gen1.mtls Characters/hero/a.mtls;resave gen2.mtls Characters/hero/b.mtls"},
    {"resave, the catalogue's flag words win", "learn ex7.mtls;resave ex.mtls out.mtls"},
    {"resave what the save cannot write", "resave odd.mtls out.mtls"},
    {"resave a library without materials", "resave empty.mtls out.mtls"},
    {"resave a library cut between two entries", "resave cut.mtls out.mtls"}};

// The window's way to what one mtls command line asks for. Gives the files it saved, moved out
// of the tool's way to the same name with ".window" added.
static QStringList does(AnsweredWindow& win, QStringList args)
{
    const QString command = args.takeFirst(), out = args.value(args.indexOf("-o") + 1);
    args = args.mid(0, args.indexOf("-o"));
    const bool adds = command == "add" || command == "replace", resave = command == "resave";
    QStringList saved;
    auto saveAs = [&](const QString& path) { // unless the save is refused
        const int before = win.answers.messages().size();
        win.answers.expectFileDialog(QFileInfo(path).absoluteFilePath());
        call(win.w, "rebuild_mtl");
        if (win.answers.messages().size() == before && QFile::rename(path, path + ".window"))
            saved << path;
    };
    for (const QString& operand : args.mid(0, adds || resave ? 1 : -1)) {
        win.open(operand);
        if (command == "from-model")
            saveAs(out + "/" + QFileInfo(operand).completeBaseName() + ".mtls");
    }
    win.w.swap_pending = command == "replace";
    win.w.swap_row = args.value(1).toInt();
    const int before = win.answers.messages().size(); // a refused add leaves nothing to save
    for (int i = win.w.swap_pending ? 2 : 1;
         adds && i + 1 < args.size() && win.answers.messages().size() == before; i += 2)
        call(win.w, "add_material", args.at(i), args.at(i + 1));
    if ((adds && win.answers.messages().size() == before) || resave)
        saveAs(resave ? args[1] : out);
    return saved;
}

class TestCliAuthoring : public QObject {
    Q_OBJECT

    std::optional<ScratchDirectory> scratch;

private slots:
    // Every test starts in a folder of its own, with these files.
    void init()
    {
        scratch.emplace();
        testsupport::ModelBuilder hero, plain;
        hero.names({"J_Hips", "Eye_L", "Jersey", "Head:skinned"}).materials({1, 2, 3}).end();
        plain.names({"x", "Jersey", "Layout_New_2"}).materials({1, 2}).end();
        // The example with the flag words 7 to 10 (the variant sits between the first two).
        QByteArray ex7 =
            exampleBlock().replace(56, 2, le16(7)).replace(60, 6, le32(0x90008) + le16(10));
        for (quint32 seed : {1, 2}) // clean, with hashes made for Characters/hero
            QVERIFY(writeFile(QString("gen%1.mtls").arg(seed),
                              generatedLibrary(seed, "/x/Characters/hero/a.mtls")));
        QVERIFY(QDir().mkpath("b") && QDir().mkpath("Characters/hero") &&
                writeFile("ex7.mtls", ex7) && writeFile("empty.mtls", buildBlock({"a", "b"}, {})) &&
                writeFile("lib.mtls", richBlock(false)) && writeFile("ex.mtls", exampleBlock()) &&
                writeFile("odd.mtls", richBlock()) && writeFile("hero.mdl", hero.build()) &&
                writeFile("plain.mdl", plain.build()));
        const QByteArray lib = richBlock(false);
        QVERIFY(writeFile("cut.mtls",
                          lib.left(int(mtls::decode(lib)->materials[1].items[1].blockOffset))));
    }
    void cleanup() { scratch.reset(); }

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
                                   ? "\n" + output + ": not saved: " + message.section(" : ", 1)
                                   : QString();
        QCOMPARE(window.messages(), "Warning: " + message + detail);
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
            example.left(50), "check in.mtls gone.mtls ex.mtls",
            "mtls: gone.mtls: Cannot open file : No such file or directory\nin.mtls:48: material "
            "count cut off\nex.mtls: ok\nexit 2"};
        // A texture value at 0 on the last entry: no next cell to take, with or without --hashes.
        QTest::newRow("check") << ToolCase{
            exampleWith({"myGlobalMap", "my/Map", "my\\Map"},
                        {entry4(35, 29), entry4(47, 29), entry4(54, 29), entry4(20, 0)}),
            "check --hashes in.mtls",
            "in.mtls:80: warning: a save refuses material 0 \"mat\": Unknown parameter type: "
            "tex_d\nin.mtls:98: warning: material 0 entry 0: parameter name \"myGlobalMap\" holds "
            "\"Global\", so a save cannot write it back\n"
            "in.mtls:106: warning: material 0 entry 1: parameter name \"my/Map\" holds \"/\", "
            "so a save cannot write it back\n"
            "in.mtls:114: warning: material 0 entry 2: parameter name \"my\\Map\" holds "
            "\"\\\", so a save cannot write it back\nin.mtls:126: warning: material 0 entry 3: "
            "texture value offset 0 has no cell, so a save takes the next cell for it\nexit 1"};
    }

    void toolKeepsTheData()
    {
        QFETCH(ToolCase, c);
        QVERIFY(writeFile("in.mtls", c.in) && writeFile("in.MDL", c.in) && writeFile("plain", Old));
        const auto run = [](const QString& command) {
            const testfiles::ToolRun mtls = tool(command.split(' ', Qt::SkipEmptyParts));
            return QString(mtls.err + mtls.text())
                       .remove(QDir::toNativeSeparators(QDir::currentPath() + '/')) +
                   "exit " + QString::number(mtls.status);
        };
        QCOMPARE(run(c.command), systemWords(c.said));
        QCOMPARE(contents("in.mtls"), c.in);
        QCOMPARE(contents("out.mtls"), c.out);
        QCOMPARE(run("resave ex.mtls ex2.mtls --catalogue c.ini"), QString("exit 0"));
        QCOMPARE(readFile("ex2.mtls"), exampleBlock());
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

    // The current directory's catalogue when it is there, else the user's; --catalogue names
    // mtls's own. The window and mtls name the same file and see what the other learnt.
    void catalogueRule()
    {
        const char* rows[][3] = {{"here", "", "MTLs_Shaders.ini"},
                                 {"", "", ""},
                                 {"here", "other.ini", "other.ini"},
                                 {"", "other.ini", "other.ini"}};
        for (const auto& row : rows) {
#ifdef Q_OS_WIN
            if (!*row[2]) // Windows has no variable that moves a child's data folder to the test's
                continue;
#endif
            ScratchDirectory scratch(*row[0] ? ScratchDirectory::CatalogueHere
                                             : ScratchDirectory::UsersCatalogue);
            QFile::remove(userCatalogue());
            const QString used = *row[2] ? scratch.path(row[2]) : userCatalogue();
            const QStringList option = *row[1] ? QStringList{"--catalogue", row[1]} : QStringList();
            QVERIFY(writeFile("lib.mtls", exampleBlock()));
            QCOMPARE(runTool(MTLS_BINARY, QStringList{"learn", "lib.mtls"} + option).status, 0);
            QVERIFY(readFile(used).contains("yCS_gear"));
            QCOMPARE(runTool(MTLS_BINARY, QStringList{"shaders"} + option).err,
                     "catalogue: " + QDir::toNativeSeparators(used) + "\n");
            if (*row[1])
                continue;
            AnsweredWindow win;
            win.answers.expectMessage();
            win.w.findChild<QAction*>("actionCatalogue")->trigger();
            QCOMPARE(win.answers.messages().value(0).text,
                     "The shader catalogue in use is " + QDir::toNativeSeparators(used) + ".");
            win.w.ui->actionAdd_Material->trigger();
            QCOMPARE(win.w.dialog->findChild<QComboBox*>()->itemText(0),
                     QString("yCS_gear::Normal"));
        }
        QFile::remove(userCatalogue());
    }

    void commandsMatchTheWindow_data()
    {
        testrows::addRows(Runs);
    }

    void commandsMatchTheWindow()
    {
        QFETCH(int, row);
        {
            AnsweredWindow win; // gone before the catalogues are compared
            for (const QString& run : QString(Runs[row][1]).split(';')) {
                const int before = win.answers.messages().size();
                const QStringList saved = does(win, run.split(' '));
                const auto refusals = win.answers.messages().mid(before);
                const auto ran = runTool(MTLS_BINARY, (run + " --catalogue tool.ini").split(' '));
                // A cut library is not clean: the tool says so with its status.
                QCOMPARE(ran.status, refusals.isEmpty() && !run.contains("cut") ? 0 : 1);
                // The window stops at the first refusal.
                QVERIFY2(ran.err.contains(refusals.value(0).text), qPrintable(ran.err));
                for (const QString& path : saved)
                    QCOMPARE(readFile(path), readFile(path + ".window"));
                if (run.startsWith("resave gen")) // a clean library saves to its own bytes
                    QCOMPARE(readFile(saved.value(0)), readFile(run.section(' ', 1, 1)));
                // resave's summary line and the window's status line say what the save changed.
                const QString said = ran.err.section("resave: ", 1).section("; `mtls", 0, 0);
                QCOMPARE(libraryLine(win.w).section("changes: ", 1).section("; `mtls", 0, 0), said);
                if (run.startsWith("resave ex")) { // the flag words the catalogue learnt first
                    QCOMPARE(readFile("out.mtls").mid(56, 10), readFile("ex7.mtls").mid(56, 10));
                    QCOMPARE(said, QString("4 flag words taken from the catalogue"));
                }
                QCOMPARE(QFile::exists("out.mtls"), saved.contains("out.mtls"));
                if (run.startsWith("resave cut")) // never the cut material half
                    QCOMPARE(mtls::decode(readFile("out.mtls"))->materials.size(), 1);
            }
        }
        // The same entries; their order follows each file's history (on Windows, not on Linux).
        const auto entries = [](const QString& path) {
            QStringList lines =
                QString(readFile(path)).remove('\r').split('\n', Qt::SkipEmptyParts);
            for (int i = 1; i < lines.size(); ++i) // each entry after the name of its section
                if (!lines[i].startsWith('['))
                    lines[i].prepend(lines[i - 1].section(']', 0, 0) + ']');
            lines.sort();
            return lines;
        };
        QCOMPARE(entries("tool.ini"), entries(ShaderCatalogue::DefaultFileName));

        // `shaders` lists what the dialog offers, with the catalogue's counts and cells.
        const auto shaders = runTool(MTLS_BINARY, {"shaders", "--json", "--catalogue", "tool.ini"});
        AnsweredWindow win;
        emit win.w.textFocus({});
        const QComboBox* offered = win.w.dialog->findChild<QComboBox*>();
        const ShaderCatalogue catalogue;
        QJsonArray expected;
        for (int i = 0; i < offered->count(); ++i) {
            const QString name = offered->itemText(i);
            const QJsonArray cells = QJsonArray::fromStringList(catalogue.shaderCells(name));
            expected.append(QJsonObject{
                {"name", name}, {"paramCount", catalogue.paramCount(name)}, {"cells", cells}});
        }
        QCOMPARE(shaders.json()["shaders"].toArray(), expected);
    }

    // Eye_L's shader is unknown, so its import writes; Jersey's has a parameter without a type.
    void refusedWorkingWriteKeepsTheWindow()
    {
        for (const QString action : {"add", "replace", "model import"}) {
            QVERIFY(writeFile(MainWindow::previewPath(), "older working file") &&
                    writeFile("MTLs_Shaders.ini", "[Params]\nyCS_gear%3A%3ANormal=1\n"
                                                  "[Shaders]\nyCS_gear%3A%3ANormal=weird\n"));
            AnsweredWindow win;
            win.open("ex.mtls");
            const QStringList before = shown(win.w);
            if (action == "model import") {
                win.open("hero.mdl"); // stops at Jersey, showing what was built up to it
                QCOMPARE(tableRows(win.w.ui->ExternalTable),
                         QStringList("B0|<none>|yCS_eye|Eye_L|0|Normal"));
            } else {
                win.w.swap_pending = action == "replace";
                call(win.w, "add_material", "new", "yCS_gear::Normal");
                QCOMPARE(shown(win.w), before);
                QCOMPARE(readFile(MainWindow::previewPath()), QByteArray("older working file"));
            }
            QCOMPARE(win.messages(), QString("Warning: Unknown parameter type: weird"));
        }
    }

    // The status line counts each verdict: M matches, P a placeholder, O another folder.
    void statusLineWording()
    {
        const QString here = "; saving here gives hashes for /x/textures/.";
        const char* const cases[][2] = {
            {"M", "The texture hash matches this folder."},
            {"MM", "All 2 texture hashes match this folder."},
            {"OO", "All 2 texture hashes point to another folder"},
            {"P", "The texture hash is a placeholder until the library is saved."},
            {"MP", "1 of 2 texture hashes is a placeholder until the library is saved."},
            {"MPP", "2 of 3 texture hashes are placeholders until the library is saved."},
            {"O", "The texture hash points to another folder"},
            {"MOP", "1 of 3 texture hashes points to another folder and 1 is a placeholder"},
            {"OOPP", "2 of 4 texture hashes point to another folder and 2 are placeholders"},
            {"", ""}};
        for (const auto& [verdicts, line] : cases) {
            QVector<mtls::TextureReference> references;
            for (const char* v = verdicts; *v; ++v) {
                references.append(mtls::TextureReference());
                references.last().verdict =
                    mtls::TextureReference::Verdict(QString("MPO").indexOf(*v));
            }
            const bool moved = QString(verdicts).contains('O');
            QCOMPARE(mtls::textureStatusLine(references, "/x/a.mtls"), line + (moved ? here : ""));
        }
    }

    void judgedByEveryFace_data()
    {
        testrows::addRows(Cases);
    }

    void judgedByEveryFace()
    {
        QFETCH(int, row);
        const QString folder = Cases[row][1], verdict = Cases[row][4];
        const QString home = verdict == "placeholder" ? "" : "Characters/hero_01/Textures/";
        const QString file = scratch->path(folder + "/body.mtls");
        const QString dir = QString(Cases[row][3]).replace("%1", scratch->path("").toLower());
        QStringList textures;
        QVERIFY(QDir().mkpath(folder) && writeFile(file, library(home, Cases[row][2], textures)));

        // Each reference as the core, `mtls textures` and its JSON give it.
        const auto references = mtls::textureReferences(*mtls::decode(readFile(file)), file);
        const QString line = mtls::textureStatusLine(references, file); // the window shows it
        // The tool and the window are given the file as the system names it (on Windows with
        // backslashes): the folder rule sees '/' all the same.
        const QString native = QDir::toNativeSeparators(file);
        const auto listed = tool({"textures", native});
        const QJsonArray json = tool({"textures", native, "--json"}).json()["references"].toArray();
        QCOMPARE(listed.status, 0);
        for (int i = 0; i < std::max({textures.size(), listed.out.count('\n'), json.size()}); ++i) {
            const QString expected = dir + textures.value(i).toLower() + ".tex\t" + verdict;
            const mtls::TextureReference reference = references.value(i);
            QCOMPARE(reference.hashedPath + '\t' + mtls::verdictText(reference.verdict), expected);
            QCOMPARE(listed.text().section('\n', i, i).section('\t', 2), expected);
            QCOMPARE(json[i]["path"].toString() + '\t' + json[i]["verdict"].toString(), expected);
        }

        // Judged as if saved where the hashes were made, only placeholders stay wrong. On Windows
        // the path is C:\mods\Characters\hero_01\Textures\..\body.mtls, so it is
        // C:\mods\Characters\hero_01\body.mtls that hashes under characters/hero_01/textures/.
        const QString as = QDir::toNativeSeparators("C:/mods/" + home + "../body.mtls");
        const QString kept = home.isEmpty() ? "\tplaceholder\n" : "\tmatches\n";
        QCOMPARE(tool({"textures", file, "--as", as}).text().count(kept), textures.size());
        const auto checked = tool({"check", "--hashes", native});
        const int wrong = verdict == Match ? 0 : textures.size();
        QCOMPARE(checked.status, wrong ? 1 : 0);
        QCOMPARE(checked.text().count("; saving here gives hashes for " + dir), wrong);
        QCOMPARE(tool({"check", file}).status, 0);
        // A save into the file's own folder gives hashes that match it.
        tool({"resave", file, folder + "/s"});
        QCOMPARE(tool({"textures", folder + "/s"}).text().count("\tmatches\n"), textures.size());

        // A truncated file says so first, in the same line; the next load and Clear View replace
        // the line, and a failed load leaves it with the library it is about.
        AnsweredWindow window; // its answerer closes the boxes of the failed loads
        const auto open = [&](const QString& name) {
            window.w.openFiles({QDir::toNativeSeparators(scratch->path(folder + "/" + name))});
            return libraryLine(window.w);
        };
        QVERIFY(writeFile(folder + "/cut.mtls", library(home, Cases[row][2], textures, 3)) &&
                writeFile(folder + "/bad.mtls", "not a library"));
        const QString cut =
            ("The file is truncated: 2 of 3 materials could be read. " + line).trimmed();
        for (const QString next : {"bad.mtls", "gone.mtls", "body.mtls"}) {
            QCOMPARE(open("cut.mtls"), cut);
            QCOMPARE(open(next), next == "body.mtls" ? line : cut);
        }
        call(window.w, "on_actionQueue_All_triggered");
        QCOMPARE(libraryLine(window.w), QString());
        QVERIFY(writeFile(folder + "/cut.mtls", readFile(file).left(102))); // inside the count
        QCOMPARE(open("cut.mtls"), QString("The file is truncated: no material could be read."));
    }
};

QTEST_MAIN(TestCliAuthoring)
#include "tst_cliauthoring.moc"
