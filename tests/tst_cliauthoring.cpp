// mtls's resave and authoring commands against the window doing the same steps on the same
// files: the same bytes out, the same catalogue afterwards, the same refusals. And a working write
// that is refused leaves the window as it was.
#include "authoring/dialog.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/block.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/core/rows.h"
#include "support/gui/windowhelpers.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QtTest>

using namespace testdata;
using namespace testwindow;
using testfiles::runTool;

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

    void commandsMatchTheWindow_data() { testrows::addRows(Runs); }

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
            QStringList lines;
            QString section;
            for (const QString& line :
                 QString(readFile(path)).remove('\r').split('\n', Qt::SkipEmptyParts)) {
                if (line.startsWith('['))
                    section = line;
                else
                    lines << section + line;
            }
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
                QCOMPARE(win.w.ui->ExternalTable->rowCount(), 1);
                QCOMPARE(rowTexts(win.w.ui->ExternalTable, 0).value(3), QString("Eye_L"));
            } else {
                win.w.swap_pending = action == "replace";
                call(win.w, "add_material", "new", "yCS_gear::Normal");
                QCOMPARE(shown(win.w), before);
                QCOMPARE(readFile(MainWindow::previewPath()), QByteArray("older working file"));
            }
            QCOMPARE(win.answers.messages(),
                     (QList<ModalAnswerer::Message>{{"Warning", "Unknown parameter type: weird"}}));
        }
    }
};

QTEST_MAIN(TestCliAuthoring)
#include "tst_cliauthoring.moc"
