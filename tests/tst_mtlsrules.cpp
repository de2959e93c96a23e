// mtls run as a program. What it prints, a JSON dump packs back to the very bytes it came from,
// a broken dump is refused at its JSON path without touching the output, and diff names what a
// modder changed and nothing else. Then one table of mtls run from a shell as scripts run it:
// what it must never write, and answers that must be true; every row checks its exit status and
// a phrase of what it says, and that every file that was there keeps its bytes and only the
// files the row names appear.
#include "mtls/blockcheck.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"
#include "support/core/rows.h"
#include "support/core/scratch.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

using namespace testdata;
using namespace testfiles;

namespace {

const auto tool = [](const QStringList& arguments) { return runTool(MTLS_BINARY, arguments); };

// A clean library of random strings, records and items with a random format word; one of
// its strings is not valid UTF-8.
QByteArray randomLibrary(QRandomGenerator& random)
{
    auto roll = [&random](int n) { return quint16(random.bounded(n)); };
    const QString odd = QStringLiteral("\x01\x02\x03"); // stands for the bytes ff c3 28
    QStringList dictionary{"mat", odd};
    for (int k = roll(10); k > 0; --k)
        dictionary.insert(1 + roll(dictionary.size()),
                          QString::number(random.generate(), 36).left(roll(7)) +
                              QString("\"\\\t\x1f ").mid(roll(6), 1) + QChar(0xA0 + roll(0x700)));
    auto any = [&](int from) {
        return offsetOf(dictionary, dictionary.at(from + roll(dictionary.size() - from)));
    };
    QVector<RawMaterial> materials(roll(5));
    for (RawMaterial& m : materials) {
        m = {any(0), any(0), any(0), {roll(65536), roll(65536), roll(65536), roll(65536)}, 0, {}};
        for (int n = roll(7); n > 0; --n, ++m.count) {
            if (roll(3) == 0) // global flag items only ever come before an entry
                m.items.append(globalFlag(roll(2) ? 0x3F80 : 0));
            const quint16 name = any(1), a = roll(0x10000), b = roll(0x10000);
            const quint64 x = random.generate64(), y = random.generate64();
            m.items.append(QVector<RawItem>{entry1(name, a, b, a % 2 ? 1 : 3), entry2(name, x, y),
                                            entry4(name, any(0)), entry5(name, x),
                                            entry3F80(name, a), entry1(name, a, b, 6 + b % 0x3F7A)}
                               .at(roll(6)));
        }
    }
    QByteArray block = buildBlock(dictionary, materials).replace(4, 4, le32(random.generate()));
    return block.replace(12 + offsetOf(dictionary, odd), 3, "\xff\xc3\x28");
}

// A clean library that its save changes: generated, then flag words and type-1/3 numbers that
// may disagree with the first record of their shader or name, type-2 values, global flag items;
// its hashes are made for another folder.
QByteArray changedLibrary(quint32 seed)
{
    QRandomGenerator random(seed);
    mtls::Block block = *mtls::decode(generatedLibrary(seed, seed % 2 ? "/x/Props/a.mtls" : ""));
    for (mtls::Material& m : block.materials) {
        m.flags[random.bounded(4)] += quint16(random.bounded(2));
        for (int i = m.items.size() - 1; i >= 0; --i) {
            mtls::Item& item = m.items[i];
            if (item.type < 4 && random.bounded(3) == 0) // a value word that starts no string
                item.first = random.bounded(4);
            item.second += item.type == 2 ? random.generate64() : 0;
            mtls::Item flag;
            flag.kind = mtls::Item::GlobalFlag;
            flag.type = random.bounded(2) ? mtls::GlobalFlagType : 0;
            if (random.bounded(5) == 0)
                m.items.insert(i, flag);
        }
    }
    return mtls::encode(block.dictionaryTexts(), block.materials);
}

// "material|field" for every note of check and every line of diff: a note's main shader or
// variant is diff's shader, a note's parameter field is diff's parameter or texture hash.
QSet<QString> fields(const QString& report, const QRegularExpression& pattern)
{
    QSet<QString> found;
    QString material;
    for (const QString& line : report.split('\n')) {
        const QRegularExpressionMatch m = pattern.match(line);
        material = m.captured(1).isEmpty() ? material : m.captured(1);
        if (!m.captured(2).isEmpty())
            found << material + "|" +
                         m.captured(2).replace(QRegularExpression("main shader|variant"), "shader");
    }
    return found;
}

// Materials alike but for their names, with the names after the other strings or before.
QByteArray library(const QStringList& names, bool namesFirst = false)
{
    const QStringList rest{"colorMap", "tex_d", "gain", "hashA", "yCS_gear", "Normal", "yCS_skin"};
    const QStringList dictionary = namesFirst ? names + rest : rest + names;
    auto at = [&dictionary](const QString& text) { return offsetOf(dictionary, text); };
    const QVector<RawItem> items{entry4(at("colorMap"), at("tex_d")), entry1(at("gain"), 7, 9),
                                 entry5(at("hashA"), 0xDEADDEAD)};
    QVector<RawMaterial> materials;
    for (const QString& name : names)
        materials.append({at(name), at("yCS_gear"), at("Normal"), {1, 2, 3, 4}, 3, items});
    return buildBlock(dictionary, materials);
}

// B beside A = library({"mat", "other"}): the names of its materials (~: strings in another
// order), "from|to": A with one edit of its dump, -: no library at all. Then the status of
// the diff and a phrase of its report; or "-" and the JSON path where pack refuses the edit.
const char* const Edits[][3] = {
    {R"("formatWord": 5,|"formatWord": 5,,)", "-", "bad JSON at byte 21"},
    {R"("flags": [1, 2, 3, 4],|)", "-", "materials[0].flags"},
    {"[1, 2, 3, 4]|[1, 2, 3, 65536]", "-", "materials[0].flags[3]"},
    {"[1, 2, 3, 4]|[-1, 2, 3, 4]", "-", "materials[0].flags[0]"},
    {R"("formatWord": 5|"formatWord": 2147483648)", "-", "formatWord"},
    {R"("formatWord": 5|"formatWord": -2147483649)", "-", "formatWord"},
    {"[1, 2, 3, 4]|[1, \"2\", 3, 4]", "-", "materials[0].flags[1]"},
    {R"("materialCount": 2|"materialCount": -2)", "-", "materialCount"},
    {R"({"offset": 0,|{"offset": 1,)", "-", "materials[0].items[0].name.offset"},
    {R"(: {"offset": 9|: {"offset": 8)", "-", "materials[0].items[0].value.offset"},
    {R"("colorMap"}|"colorMap", "bytes": "6d6"})", "-", "dictionary[0].bytes"},
    {R"("colorMap"}|"colorMap", "bytes": "6d00"})", "-", "dictionary[0].bytes"},
    {R"("offset": 9,|"offset": 8,)", "-", "dictionary[1].offset"},
    {R"("stringTableSize": |"stringTableSize": 1)", "-", "stringTableSize"},
    {R"("truncated": false|"truncated": true)", "-", "truncated"},
    {R"({"offset": 0,|0, "globalFlag": [0, 7], "": {)", "-", "materials[0].items[0].globalFlag[1]"},
    {R"("type": 4|"type": 0)", "-", "materials[0].items[0].type"},
    {"mat other", "0", "same: 2 materials\n"},
    {"~mat other", "0", "same: 2 materials\n"},
    {"mat2 other", "1", "\"mat\" (yCS_gear::Normal)\n+ material \"mat2\""},
    {"mat other x", "1", "+ material \"x\" (yCS_gear::Normal)\n0 changed, 1 added"},
    {"mat", "1", "- material \"other\""},
    {"other mat", "1", "material order: mat, other -> other, mat"},
    {R"(: {"offset": 26|: {"offset": 42)", "1", "shader: yCS_gear::Normal -> yCS_skin::Normal"},
    {R"({"offset": 0, "text": "colorMap"}|{"offset": 42, "text": "yCS_skin"})", "1",
     "\"yCS_skin\" added"},
    {"[1, 2, 3, 4]|[8, 2, 3, 4]", "1", "\"mat\"\n    flag word 1: 1 -> 8\n"},
    {"[7, 9]|[7, 10]", "1", "\"gain\": type 1 numbers 7 9 -> type 1 numbers 7 10"},
    {"deaddead|00000001", "1", "hash \"hashA\": 0x00000000deaddead -> 0x0000000000000001"},
    {"-", "2", "Invalid File"}};

#define PACKED(file, edit)                                                                         \
    "$M dump --json " file " | sed '" edit "' >e.json && $M pack e.json o.mtls"

// Name, command line (bash, $M is mtls), exit status, phrase of stdout + stderr, new files.
const char* const Rows[][5] = {
    {"info, from a pipe", "cat ex.mtls | $M info /dev/stdin", "0",
     "/dev/stdin: 1 materials, 5 strings, 35 dictionary bytes, 1 shaders: yCS_gear::Normal\n"},
    // The example's dump, its name made of a character written escaped and a space, which is not.
    {"dump", PACKED("ex.mtls", R"(s/"mat"/"\\u001f t"/)") " && $M dump o.mtls", "0",
     "MTLs Dictionary: 5 strings, 35 bytes\n  Index  Offset  Item\n      0       0  \"\\u001f t\"\n"
     "      1       4  \"yCS_gear\"\n      2      13  \"Normal\"\n      3      20  \"colorMap\"\n"
     "      4      29  \"tex_d\"\nFound 1 materials:\n  Index 0 (byte 52)  Main Shader "
     "\"yCS_gear\" @4  Model_ID \"\\u001f t\" @0  SubMtls # 1  P0 \"Normal\" @13\n    shader "
     "yCS_gear::Normal  flags 1 2 3 4\n    byte 70  \"colorMap\" @20  type 4  value \"tex_d\" "
     "@29\n",
     "e.json o.mtls"},
    {"dump of every kind of item", "$M dump odd.mtls", "0",
     "    byte 146  Global@ShaderFlag0-16256\n    byte 150  Global@ShaderFlag0-0\n    byte 154  "
     "\"tint\" @41  type 2  values 0x1122334455667788 0x000000000000002a\n    byte 174  \"hashA\" "
     "@46  type 5  hash 0x00000000deaddead\n    byte 186  \"odd\" @52  type 16256  word 3\n  Index "
     "1 (byte 192)  Main Shader (none) @65520  Model_ID \"Schön_ä\" @56"},
    // Offset 65535 names a string; offset 1 none, though the one at 65537 has its low 16 bits.
    {"a name at offset 65535", "$M info w.mtls | cut -d, -f4; $M dump w.mtls | grep -o 'Mo.*'", "0",
     " 1 shaders: s::\nModel_ID \"w\" @65535  SubMtls # 0  P0 (none) @1\n"},
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
    {"an unknown shader, in the last pair",
     "$M learn ex.mtls >/dev/null && $M add ex.mtls x yCS_gear::Normal y No::Such -o o.mtls", "1",
     "unknown shader \"No::Such\": ", "MTLs_Shaders.ini"},
    {"a shader with a space", "$M replace ex.mtls 0 x 'yCS_gear::Normal ' -o o.mtls", "1",
     "Shaders/yCS_gear::Normal  entry", "MTLs_Shaders.ini"},
    {"a refusal's wording",
     "$M learn ex.mtls >/dev/null && $M add odd.mtls 'Cannot fly' yCS_gear::Normal -o o.mtls", "1",
     "Cannot fly: Unknown parameter type", "MTLs_Shaders.ini"},
    {"diff: bytes not UTF-8", "$M diff 80.mtls fe.mtls", "1",
     "\"tex_\\x80\" -> type 4 value \"tex_\\xfe\""},
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
    {"check: bytes not UTF-8", "$M check 80.mtls", "1",
     "string 4 is not valid UTF-8: a save writes \"tex_\xef\xbf\xbd\"\n80.mtls:74: note: "
     "material 0 \"mat\": parameter \"colorMap\" value: \"tex_\\x80\""},
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
    ScratchDirectory scratch;

private slots:
    void initTestCase() { qputenv("M", MTLS_BINARY); }

    void dumpPacksBack()
    {
        QVector<RawMaterial> every(16384); // every word from 0 to 65535, as flag words
        for (int n = 0; n < 65536; ++n)
            every[n / 4].flags[n % 4] = quint16(n);
        QRandomGenerator random(15);
        // The first two: no string, no material; then every word, with the format word at the
        // ends of its range.
        for (int round = 0; round < 34; ++round) {
            const QByteArray block =
                round < 2   ? buildBlock(QStringList("m").mid(round), {})
                : round < 4 ? buildBlock({"m"}, every).replace(4, 4, le32(0x7FFFFFFFu + round % 2))
                            : randomLibrary(random);
            // Well formed: check may only warn of what the editor's save changes.
            for (const mtls::Finding& finding : mtls::checkBlock(block))
                QVERIFY2(finding.text.startsWith("warning:"), qPrintable(finding.text));
            QVERIFY(writeFile("lib.mtls", block) && writeFile("out.mtls", "old"));
            const ToolRun dump = tool({"dump", "--json", "lib.mtls"});
            QVERIFY((round < 4 || dump.out.contains("\"bytes\": \"ffc328\"")) &&
                    writeFile("lib.json", dump.out));
            QCOMPARE(tool({"pack", "lib.json", "out.mtls"}).err, QString());
            QCOMPARE(readFile("out.mtls"), block);
        }
        // What a dump cannot carry, check does not call clean: stray bytes where zeros belong.
        for (const int at : {66, 77})
            QVERIFY(!mtls::checkBlock(exampleBlock().replace(at, 1, "\x01")).isEmpty());
    }

    // For every clean library, check's notes name exactly the materials and fields that diff
    // reports between the library and its resave into the same folder.
    void notesPredictTheResave()
    {
        const QRegularExpression note(": note: material \\d+ \"([^\"]*)\": (flag word \\d|main "
                                      "shader|variant|parameter \"[^\"]*\")");
        const QRegularExpression diff("^~ material \"([^\"]*)\"|^    (shader|flag word \\d|"
                                      "parameter \"[^\"]*\")");
        int changed = 0;
        for (quint32 seed = 0; seed < 40; ++seed) {
            QVERIFY(writeFile("lib.mtls", changedLibrary(seed)));
            const ToolRun check = tool({"check", "lib.mtls"});
            QCOMPARE(check.status, 0);
            QCOMPARE(tool({"resave", "lib.mtls", "r.mtls"}).status, 0);
            const QString diffed = tool({"diff", "lib.mtls", "r.mtls"}).text();
            const QSet<QString> noted = fields(check.text(), note);
            QCOMPARE(noted, fields(QString(diffed).replace("texture hash", "parameter"), diff));
            changed += !noted.isEmpty();
        }
        QVERIFY(changed > 30);
    }

    // Every hash of 0 to 17 digits, each digit an edge of a hex range or one just past it at
    // the first or the last place: 1 to 16 hex digits are taken, as the number they spell.
    void hashTexts()
    {
        QVERIFY(writeFile("a.mtls", library({"mat"})));
        const QString json = tool({"dump", "--json", "a.mtls"}).text();
        for (int n = 0; n <= 17; ++n)
            for (int bad = -1; bad < 2 && bad < n; ++bad) { // none, the first, the last
                QString hex = QString("09afAF").repeated(3).left(n);
                if (bad >= 0)
                    hex[bad ? n - 1 : 0] = QString("/:@G`g").at((n + 3 * bad) % 6);
                const QString edited = QString(json).replace("0x00000000deaddead", "0x" + hex);
                QVERIFY(writeFile("edited.json", edited.toUtf8()));
                const ToolRun run = tool({"pack", "edited.json", "b.mtls"});
                const bool taken = bad < 0 && n >= 1 && n <= 16;
                QVERIFY2(run.status == (taken ? 0 : 1), qPrintable(hex));
                if (taken)
                    QCOMPARE(mtls::decode(readFile("b.mtls"))->materials[0].items[2].first,
                             hex.toULongLong(nullptr, 16));
                else
                    QCOMPARE(run.err.section(": ", 2, 2), QString("materials[0].items[2].hash"));
            }
    }

    // diff shows a name as text exactly when its bytes are UTF-8: each code point at an edge of
    // an encoding length, of the surrogates and of the last code point, and one past it, in its
    // shortest form and one byte longer; other bytes show as \xNN.
    void diffReadsUtf8()
    {
        auto encode = [](char32_t c, int length) { // the bit layout, whatever the code point
            QByteArray bytes(length, char(c));
            for (int k = length - 1; k > 0; --k, c >>= 6)
                bytes[k] = char(0x80 | (c & 0x3F));
            bytes[0] = length > 1 ? char((0xFF00 >> length) | c) : bytes[0];
            return bytes;
        };
        QVERIFY(writeFile("a.mtls", library({"aaaaa", "other"})));
        for (const char32_t c : {0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xD800, 0xDFFF, 0xE000, 0xFFFF,
                                 0x10000, 0x10FFFF, 0x110000}) {
            const int shortest = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
            for (int length = shortest; length <= qMin(shortest + 1, 4); ++length)
                for (const QByteArray before : {"", "\xff"}) { // alone, after a stray byte
                    const QByteArray name = (before + encode(c, length)).leftJustified(5, 'a');
                    QVERIFY(
                        writeFile("b.mtls", library({"aaaaa", "other"}).replace("aaaaa", name)));
                    const bool text =
                        length == shortest && (c < 0xD800 || c > 0xDFFF) && c <= 0x10FFFF;
                    const QString shown =
                        (before.isEmpty() ? "" : "\\xff") +
                        (text ? QString::fromUcs4(&c, 1)
                              : QString("\\x%1").arg(uchar(encode(c, length)[0]), 2, 16));
                    const QString said = tool({"diff", "a.mtls", "b.mtls"}).text();
                    QVERIFY2(said.contains("+ material \"" + shown), qPrintable(said));
                }
        }
    }

    void packAndDiff_data() { testrows::addRows(Edits); }

    void packAndDiff()
    {
        QFETCH(int, row);
        const QString b = Edits[row][0], status = Edits[row][1], phrase = Edits[row][2];
        const QStringList edit = b.split('|');
        QVERIFY(writeFile("a.mtls", library({"mat", "other"})));
        QString json = tool({"dump", "--json", "a.mtls"}).text();
        json.replace(json.indexOf(edit[0]), edit[0].size(), edit.value(1)); // none: no change
        QVERIFY(writeFile("edited.json", json.toUtf8()));
        if (edit.size() == 1)
            QVERIFY(writeFile(
                "b.mtls",
                b == "-" ? "MDL!" : library(QString(b).remove('~').split(' '), b.startsWith('~'))));
        // Packed where no file is, then over one: a refusal writes nothing.
        for (int over = 0; edit.size() == 2 && over < 2; ++over) {
            QFile::remove("b.mtls");
            QVERIFY(!over || writeFile("b.mtls", "kept"));
            const ToolRun run = tool({"pack", "edited.json", "b.mtls"});
            QCOMPARE(run.status, status == "-" ? 1 : 0);
            if (status != "-")
                break;
            QVERIFY2(run.err.section(": ", 2, 2) == phrase, qPrintable(run.err));
            QVERIFY(over ? readFile("b.mtls") == "kept" : !QFile::exists("b.mtls"));
        }
        if (status == "-")
            return;
        const ToolRun run = tool({"diff", "a.mtls", "b.mtls"});
        QCOMPARE(run.status, status.toInt());
        QVERIFY2((run.text() + run.err).contains(phrase), run.out.constData());
    }
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
                writeFile("80.mtls", exampleBlock().replace(45, 1, "\x80")) && // past ASCII
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
                writeFile("w.mtls", buildBlock({"m", "s", QString(65530, 'x'), "w", "v"},
                                               {{65535, 2, 1, {}, 0, {}}})) &&
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
