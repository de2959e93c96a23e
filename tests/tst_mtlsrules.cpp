// mtls run from a shell as scripts run it: what it must never write, and answers that must be
// true. Every row checks its exit status and a phrase of what it says, and that every file that
// was there keeps its bytes and only the files the row names appear.
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/core/rows.h"
#include "support/core/scratch.h"

#include <QDirIterator>
#include <QtTest>

using namespace testdata;
using namespace testfiles;

namespace {

#define PACKED(file, edit)                                                                         \
    "$M dump --json " file " | sed '" edit "' >e.json && $M pack e.json o.mtls"

// Name, command line (bash, $M is mtls), exit status, phrase of stdout + stderr, new files.
const char* const Rows[][5] = {
    {"onto a device", "$M resave ex.mtls /dev/null", "2",
     "/dev/null: Cannot write file : not a regular file"},
    {"onto a pipe", "mkfifo p && $M pack ex.json p", "2", "not a regular file", "p"},
    {"onto standard output, a pipe", "$M pack ex.json /dev/stdout | cat", "2", "not a regular"},
    {"to standard output", "$M resave ex.mtls - >o && $M resave ex.mtls o.mtls && cmp o o.mtls",
     "0", "", "o o.mtls MTLs_Shaders.ini"},
    {"two models, one output", "$M from-model hero.mdl a/hero.mdl -o out", "2",
     "hero.mdl and a/hero.mdl would both write"},
    {"a library as catalogue", "$M learn ex.mtls --catalogue odd.mtls", "2",
     "odd.mtls: not a shader catalogue (it is an MTLs library)"},
    {"a zero byte in the catalogue", "printf 'a\\0' >z && $M shaders --catalogue z", "2",
     "(it holds a zero byte)", "z"},
    {"a catalogue not UTF-8", "printf '\\377' >z && $M shaders --catalogue z", "2", "not UTF-8",
     "z"},
    {"an empty catalogue", ": >z && $M shaders --catalogue z", "0", "", "z"},
    {"no material names", "$M from-model none.mdl -o new/deeper", "1",
     "mtls: no materials in none.mdl\n"},
    {"no model", "$M from-model gone.mdl -o new/deeper", "2", "gone.mdl: Cannot open file"},
    {"a cut model", "$M from-model cut.mdl -o new", "1",
     "cut.mdl: the model is cut short: 1 materials read", "new new/cut.mtls"},
    {"an unknown shader", "$M add ex.mtls x No::Such -o o.mtls", "1",
     "unknown shader \"No::Such\": ", "MTLs_Shaders.ini"},
    {"a shader with a space", "$M replace ex.mtls 0 x 'yCS_gear::Normal ' -o o.mtls", "1",
     "Shaders/yCS_gear::Normal  entry", "MTLs_Shaders.ini"},
    {"a refusal's wording",
     "$M learn ex.mtls >/dev/null && $M add odd.mtls 'Cannot fly' yCS_gear::Normal -o o.mtls", "1",
     "Cannot fly: Unknown parameter type", "MTLs_Shaders.ini"},
    {"diff: bytes not UTF-8", "$M diff ff.mtls fe.mtls", "1",
     "\"tex_\\xff\" -> type 4 value \"tex_\\xfe\""},
    {"diff: a byte-order mark", "$M diff ex.mtls bom.mtls", "1", "- material \"mat\""},
    {"diff: where :: falls", "$M diff sx.mtls xv.mtls", "1",
     "main shader \"s::x\" variant \"V\" -> main shader \"s\" variant \"x::V\""},
    {"pack: digits not ASCII", PACKED("odd.mtls", R"(0,/"0x[0-9a-f]*"/s//"0x٣٣"/)"), "1",
     "materials[0].items[5].values[0]: is not a string of 0x", "e.json"},
    {"pack: a repeated key", PACKED("ex.mtls", R"(s/"formatWord": 5,/&"formatWord": 5,/)"), "1",
     "e.json: formatWord: is given twice", "e.json"},
    {"check --hashes says each change once",
     "for o in '' --hashes; do $M check $o a/hero/gen.mtls | grep -c -e note: -e 'points to'; "
     "$M check $o a/hero/gen.mtls | grep -c 'note: .*hash'; done | tr '\\n' ' '; echo",
     "0", "1 1 1 0 \n"}, // a hash the save changes: a note, or with --hashes a finding
    {"unknown options as typed", "$M check -x ex.mtls 2>&1; $M check --xy ex.mtls 2>&1; true", "0",
     "unknown option -x for check\nRun mtls --help for the commands.\n"
     "mtls: unknown option --xy for check"},
    {"check --hashes at the size budget", "$M check --hashes atlimit.mtls", "0", ": ok\n"},
    {"check --hashes past the size budget", "$M check --hashes pastlimit.mtls", "1",
     "too large to show: 999,995 dictionary strings and 1 material"},
    {"pack: a string that grew", PACKED("ex.mtls", R"(s/"Normal"/"Normall"/)"), "1",
     "dictionary[2].text: is 7 bytes, but the next string starts at 20, which leaves room for 6",
     "e.json"},
    {"pack: an offset that moved", PACKED("ex.mtls", R"(s/"offset": 20/"offset": 21/)"), "1",
     "dictionary[3].offset: 21 is not where the string starts (20)", "e.json"},
    {"pack: a count that disagrees",
     PACKED("ex.mtls", R"(s/"materialCount": 1/"materialCount": 2/)"), "1",
     "materialCount: 2 is not the number of materials (1)", "e.json"},
    {"standard output full", "$M dump --json ex.mtls >/dev/full", "2",
     "standard output: Cannot write file : No space left"},
    {"a process substitution", "$M check <(cat ex.mtls)", "0", ": ok\n"},
    {"a pipe as input", "cat ex.mtls | $M dump /dev/stdin", "0", "Found 1 materials"},
    {"at 512 MiB", "truncate -s 536870912 big && $M info big", "1", "big: Invalid File", "big"},
    {"past 512 MiB", "truncate -s 536870913 big && $M info big", "1", "holds 536870913 bytes",
     "big"},
    {"a name not UTF-8", R"(n=l$(printf '\303'); : >$n; $M resave $n o; s=$?; rm $n; exit $s)", "2",
     "mtls: argument 2 is not valid UTF-8; file names must be UTF-8\n"},
    {"check: a name past the string limit", "$M check far.mtls", "1",
     ": warning: a save refuses material 0 \"m x\": String Limit Reached\n"},
    {"check: a name at the string limit", "$M check near.mtls", "0",
     ": note: material 0 \"m x\": name: \"m x\" -> \"mx\"\n"},
    {"check --no-notes", "! $M check --no-notes near.mtls | grep note", "0", ""},
    {"check: a parameter named \"\"", "$M check noname.mtls", "1",
     "material 0 \"m\": Unknown parameter type: \n"},
    {"check: bytes not UTF-8", "$M check ff.mtls", "1",
     "ff.mtls:41: warning: dictionary string 4 is not valid UTF-8: a save writes "
     "\"tex_\xef\xbf\xbd\""},
    {"resave says what it changed", "$M resave lib.mtls o.mtls", "1",
     "resave: 3 global flag items dropped, 4 flag words taken from the catalogue, 1 type-2 value "
     "pair written as zeros, 1 texture value written as \"\", 1 other change; `mtls check` lists "
     "them\n",
     "o.mtls MTLs_Shaders.ini"},
    {"textures of no library", "$M textures none.mdl", "1", "none.mdl: Invalid File"},
    {"dump of a cut header", "! $M dump --json head.mtls | grep -e formatWord -e stringTable", "0",
     ""},
    {"hashes through a link",
     "ln -s a Characters && cd Characters/hero && $M check --hashes "
     "gen.mtls && cd ../.. && $M textures Characters/hero/gen.mtls",
     "0", "gen.mtls: ok\n", "Characters"}};

QMap<QString, QByteArray> filesHere()
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(".", QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        files.insert(path.mid(2), it.fileInfo().isFile() ? readFile(path) : "");
    }
    return files;
}

} // namespace

class TestMtlsRules : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("M", MTLS_BINARY); }

    void rules_data() { testrows::addRows(Rows); }

    void rules()
    {
#ifdef Q_OS_WIN
        QSKIP("the rules run mtls from a POSIX shell (pipes, FIFOs, /dev/full, links)");
#endif
        QFETCH(int, row);
        ScratchDirectory scratch;
        testsupport::ModelBuilder hero;
        const QByteArray model =
            hero.names({"J_Hips", "Eye_L", "Jersey"}).materials({1, 2}).end().build();
        const QStringList shader{"m", "s::x", "V", "s", "x::V"};
        // "mx", which a save adds, lands at 65534 (the last offset a name may take) or past it.
        const QStringList near{"s", "v", QString(65525, 'p'), "m x"},
            far{"s", "v", near[2] + 'p', "m x"};
        const QStringList bom{QChar(0xFEFF) + QString("mat"), "yCS_gear", "Normal", "colorMap",
                              "tex_d"};
        QVERIFY(QDir().mkpath("a/hero") && writeFile("ex.mtls", exampleBlock()) &&
                writeFile("odd.mtls", richBlock()) && writeFile("lib.mtls", richBlock(false)) &&
                writeFile("hero.mdl", model) && writeFile("a/hero.mdl", model) &&
                writeFile("none.mdl", testsupport::ModelBuilder().names({"x"}).end().build()) &&
                writeFile("cut.mdl", model.left(model.indexOf("MBfD") - 2)) &&
                writeFile("ff.mtls", exampleBlock().replace(45, 1, "\xff")) &&
                writeFile("fe.mtls", exampleBlock().replace(45, 1, "\xfe")) &&
                writeFile("bom.mtls",
                          buildBlock(bom, {{0, 7, 16, {1, 2, 3, 4}, 1, {entry4(23, 32)}}})) &&
                writeFile("sx.mtls", buildBlock(shader, {{0, 2, 7, {}, 0, {}}})) &&
                writeFile("xv.mtls", buildBlock(shader, {{0, 9, 11, {}, 0, {}}})) &&
                writeFile("near.mtls", buildBlock(near, {{65530, 0, 2, {}, 0, {}}})) &&
                writeFile("far.mtls", buildBlock(far, {{65531, 0, 2, {}, 0, {}}})) &&
                writeFile("noname.mtls", buildBlock({"m", "s", "v", "", "t"},
                                                    {{0, 2, 4, {}, 1, {entry4(6, 7)}}})) &&
                writeFile("head.mtls", QByteArray("MTLs\x05\x00", 6)) &&
                writeFile("a/hero/gen.mtls", generatedLibrary(3, "/x/Characters/hero/gen.mtls")));
        QVERIFY(writeFile("ex.json", runTool(MTLS_BINARY, {"dump", "--json", "ex.mtls"}).out));
        // 3 cells a string and one a column of each row: 3,000,000 is the most the editor shows.
        if (QByteArray(Rows[row][0]).contains("budget"))
            QVERIFY(writeFile("atlimit.mtls", buildBlock(QVector<QString>(1000000).toList(), {})) &&
                    writeFile("pastlimit.mtls", buildBlock(QVector<QString>(999995).toList(),
                                                           {{0, 0, 0, {}, 0, {}}})));
        QMap<QString, QByteArray> before = filesHere();
        const ToolRun run = runTool("bash", {"-o", "pipefail", "-c", Rows[row][1]});
        QVERIFY2(run.status == QByteArray(Rows[row][2]).toInt() &&
                     (run.text() + run.err).contains(QString::fromUtf8(Rows[row][3])),
                 qPrintable(QString("exit %1: %2%3").arg(run.status).arg(run.text(), run.err)));
        QMap<QString, QByteArray> after = filesHere();
        for (const QString& name : QString(Rows[row][4]).split(' ', Qt::SkipEmptyParts))
            QVERIFY2(after.contains(name) &&
                         (!before.contains(name) || after.take(name) != before.take(name)),
                     qPrintable(name)); // new, or changed
        for (const QString& name : QString(Rows[row][4]).split(' ', Qt::SkipEmptyParts))
            after.remove(name);
        QCOMPARE(after, before);
    }
};

QTEST_GUILESS_MAIN(TestMtlsRules)
#include "tst_mtlsrules.moc"
