// mtls run as the program: what it prints of the example, a JSON dump packs back to the very
// bytes it came from, a broken dump is refused at its JSON path without touching the output, and
// diff names what a modder changed and nothing else.
#include "mtls/blockcheck.h"
#include "support/core/blockbuilder.h"
#include "support/core/rows.h"
#include "support/core/scratch.h"

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
const char* const Rows[][3] = {
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

} // namespace

class TestPackDiff : public QObject {
    Q_OBJECT
    ScratchDirectory scratch;

private slots:
    void example()
    {
        QVERIFY(writeFile("lib.mtls", exampleBlock()));
        const ToolRun info = tool({"info", "lib.mtls"});
        QCOMPARE(info.text(), QString("lib.mtls: 1 materials, 5 strings, 35 dictionary bytes, 1 "
                                      "shaders: yCS_gear::Normal\n"));
        // Offset 65535 names a string; one past it is not what a lower offset with the same low
        // bits names.
        QVERIFY(writeFile("far.mtls", buildBlock({"m", "s", QString(65530, 'x'), "w", "v"},
                                                 {{65535, 2, 1, {}, 0, {}}})));
        QCOMPARE(tool({"info", "far.mtls"}).text().section(": ", 2), QString("s::\n"));
        QVERIFY(tool({"dump", "far.mtls"})
                    .text()
                    .contains("Model_ID \"w\" @65535  SubMtls # 0  P0 (none) @1"));
        const ToolRun dump = tool({"dump", "lib.mtls"});
        // The dictionary's head and last row, then the material, its shader and its entry.
        for (const char* line :
             {"MTLs Dictionary: 5 strings, 35 bytes", "      4      29  \"tex_d\"",
              "Found 1 materials:\n  Index 0 (byte 52)  Main Shader \"yCS_gear\" @4  Model_ID "
              "\"mat\" @0  SubMtls # 1  P0 \"Normal\" @13\n    shader yCS_gear::Normal  flags 1 2 "
              "3 4\n    byte 70  \"colorMap\" @20  type 4  value \"tex_d\" @29\n"})
            QVERIFY2(dump.text().contains(line), line);
        const ToolRun check = tool({"check", "lib.mtls"});
        QCOMPARE(check.text(), QString("lib.mtls: ok\n"));
        for (const ToolRun& run : {info, dump, check})
            QVERIFY(run.status == 0 && run.err.isEmpty());
        QVERIFY(writeFile("rich.mtls", richBlock()));
        const QString rich = tool({"dump", "rich.mtls"}).text();
        for (const char* part :
             {"byte 146  Global@ShaderFlag0-16256\n", "byte 186  \"odd\" @52  type 16256  word 3\n",
              "\"tint\" @41  type 2  values 0x1122334455667788 0x000000000000002a\n",
              "\"hashA\" @46  type 5  hash 0x00000000deaddead\n",
              "Index 1 (byte 192)  Main Shader (none) @65520  Model_ID \"Schön_ä\" @56"})
            QVERIFY2(rich.contains(QString::fromUtf8(part)), part);
    }

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

    void packAndDiff_data() { testrows::addRows(Rows); }

    void packAndDiff()
    {
        QFETCH(int, row);
        const QString b = Rows[row][0], status = Rows[row][1], phrase = Rows[row][2];
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
};

QTEST_GUILESS_MAIN(TestPackDiff)
#include "tst_packdiff.moc"
