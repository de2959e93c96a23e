// The mtls tool, run as the program it is: what each command prints, its exit status, and
// that resave writes exactly what the editor's own open-and-save writes from the same file.
#include "app/mainwindow.h"
#include "authoring/dialog.h"
#include "support/core/blockbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace testdata;
using testwindow::readFile;
using testwindow::ScratchDirectory;
using testwindow::writeFile;

namespace {

enum Status { Success = 0, Problems = 1, Failure = 2 };

struct ToolRun {
    int status = -1; // -1: the tool did not finish on its own
    QString out;
    QString err;
};

ToolRun runTool(const QStringList& arguments)
{
    QProcess process;
    process.setProgram(QStringLiteral(MTLS_BINARY));
    process.setArguments(arguments);
    process.setWorkingDirectory(QDir::currentPath());
    process.start();
    ToolRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text); // spaces only for reading
}

// The example library with `bytes` put in at `at`.
QByteArray examplePatched(int at, const QByteArray& bytes)
{
    QByteArray block = exampleBlock();
    block.replace(at, bytes.size(), bytes);
    return block;
}

// The example library's dictionary, a filler that ends at 65535, and "big" starting there.
QStringList bigDictionary()
{
    return {"mat", "yCS_gear", "Normal", "colorMap", "tex_d", QString(65499, QLatin1Char('x')),
            "big"};
}

// One material like the example's, with its four references given.
QByteArray bigBlock(quint16 modelId, quint16 mainShader, quint16 variant, quint16 texture)
{
    RawMaterial material;
    material.modelId = modelId;
    material.mainShader = mainShader;
    material.variant = variant;
    material.flags = {1, 2, 3, 4};
    material.count = 1;
    material.items = {entry4(20, texture)};
    return buildBlock(bigDictionary(), {material});
}

// The rich library without its type-0x3F80 entry, which no writer can size: a library the
// editor saves, with global flags, a type-2 pair, a hash, a missing main shader and a
// texture value that starts no string.
QByteArray saveableRichBlock()
{
    const QStringList d = richDictionary();
    auto at = [&d](const char* text) { return offsetOf(d, QString::fromUtf8(text)); };
    RawMaterial first;
    first.modelId = at("mat");
    first.mainShader = at("yCS_head");
    first.variant = at("Normal");
    first.flags = {1, 2, 3, 4};
    first.count = 4;
    first.items = {entry4(at("colorMap"), at("tex_d")),
                   entry1(at("gain"), 7, 9),
                   globalFlag(0),
                   globalFlag(0x3F80),
                   globalFlag(0),
                   entry2(at("tint"), 0x1122334455667788ull, 42),
                   entry5(at("hashA"), 0xDEADDEADull)};
    RawMaterial second;
    second.modelId = at("Schön_ä");
    second.mainShader = 0xFFF0;
    second.variant = at("");
    second.flags = {9, 0, 0, 65535};
    second.count = 2;
    second.items = {entry1(at("coverMap"), 0, 5, 3), entry4(at("other"), 1)};
    RawMaterial third;
    third.modelId = at("other");
    third.mainShader = at("yCS_head");
    third.variant = at("Normal");
    return buildBlock(d, {first, second, third});
}

// What saving saveableRichBlock() writes, with `hash` (as its eight stored bytes) in the one
// type-5 entry: the same dictionary, flag words from the first yCS_head::Normal, the global
// flags and shown values dropped, the type-2 pair zeroed, the unresolved texture pointing at "".
QByteArray savedRich(const char* hash)
{
    return hex("4D544C73 05000000 5C000000"
               "6D617400 7943535F6865616400 4E6F726D616C00 636F6C6F724D617000 7465785F6400 00"
               "6761696E00 74696E7400 686173684100 6F646400 536368C3B66E5FC3A400 6D617400"
               "636F7665724D617000 6F7468657200 756E7573656400"
               "03000000"
               // material 0 at 108: two padding bytes, then four entries
               "0000 0400 0100 0D00 0200 0300 0400 0000 0400"
               "1400 0400 1D00 0000"
               "2400 0100 0700 0900"
               "2900 0200 0000000000000000 0000000000000000"
               "2E00 0500") +
           hex(hash) +
           hex( // material 1 at 174: no padding
               "3800 2300 0900 2300 0000 0000 FFFF 0200"
               "4600 0300 0000 0500"
               "4F00 0400 2300 0000"
               // material 2 at 206: no padding, no entries
               "4F00 0400 0100 0D00 0200 0300 0400 0000");
}

// 64-bit FNV-1a, written out here from its definition.
quint64 referenceFnv1a64(const QByteArray& bytes)
{
    quint64 hash = 14695981039346656037ull;
    for (const char byte : bytes) {
        hash ^= quint8(byte);
        hash *= 1099511628211ull;
    }
    return hash;
}

// A window whose dialog goes with it; the program itself never deletes the dialog.
struct Window {
    MainWindow w;
    ~Window() { delete w.dialog; }
};

const char* const ExampleJson = R"({
  "formatWord": 5,
  "stringTableSize": 35,
  "dictionary": [
    {"index": 0, "offset": 0, "text": "mat"},
    {"index": 1, "offset": 4, "text": "yCS_gear"},
    {"index": 2, "offset": 13, "text": "Normal"},
    {"index": 3, "offset": 20, "text": "colorMap"},
    {"index": 4, "offset": 29, "text": "tex_d"}
  ],
  "materialCount": 1,
  "materials": [
    {
      "index": 0,
      "byte": 52,
      "name": {"offset": 0, "text": "mat"},
      "mainShader": {"offset": 4, "text": "yCS_gear"},
      "variant": {"offset": 13, "text": "Normal"},
      "shader": "yCS_gear::Normal",
      "flags": [1, 2, 3, 4],
      "parameterCount": 1,
      "complete": true,
      "items": [
        {"byte": 70, "name": {"offset": 20, "text": "colorMap"}, "type": 4, "value": {"offset": 29, "text": "tex_d"}}
      ]
    }
  ],
  "truncated": false
}
)";

const char* const RichJson = R"({
  "formatWord": 5,
  "stringTableSize": 92,
  "dictionary": [
    {"index": 0, "offset": 0, "text": "mat"},
    {"index": 1, "offset": 4, "text": "yCS_head"},
    {"index": 2, "offset": 13, "text": "Normal"},
    {"index": 3, "offset": 20, "text": "colorMap"},
    {"index": 4, "offset": 29, "text": "tex_d"},
    {"index": 5, "offset": 35, "text": ""},
    {"index": 6, "offset": 36, "text": "gain"},
    {"index": 7, "offset": 41, "text": "tint"},
    {"index": 8, "offset": 46, "text": "hashA"},
    {"index": 9, "offset": 52, "text": "odd"},
    {"index": 10, "offset": 56, "text": "Schön_ä"},
    {"index": 11, "offset": 66, "text": "mat"},
    {"index": 12, "offset": 70, "text": "coverMap"},
    {"index": 13, "offset": 79, "text": "other"},
    {"index": 14, "offset": 85, "text": "unused"}
  ],
  "materialCount": 3,
  "materials": [
    {
      "index": 0,
      "byte": 108,
      "name": {"offset": 0, "text": "mat"},
      "mainShader": {"offset": 4, "text": "yCS_head"},
      "variant": {"offset": 13, "text": "Normal"},
      "shader": "yCS_head::Normal",
      "flags": [1, 2, 3, 4],
      "parameterCount": 5,
      "complete": true,
      "items": [
        {"byte": 126, "name": {"offset": 20, "text": "colorMap"}, "type": 4, "value": {"offset": 29, "text": "tex_d"}},
        {"byte": 134, "name": {"offset": 36, "text": "gain"}, "type": 1, "numbers": [7, 9]},
        {"byte": 142, "globalFlag": [0, 0]},
        {"byte": 146, "globalFlag": [0, 16256]},
        {"byte": 150, "globalFlag": [0, 0]},
        {"byte": 154, "name": {"offset": 41, "text": "tint"}, "type": 2, "values": ["0x1122334455667788", "0x000000000000002a"]},
        {"byte": 174, "name": {"offset": 46, "text": "hashA"}, "type": 5, "hash": "0x00000000deaddead"},
        {"byte": 186, "name": {"offset": 52, "text": "odd"}, "type": 16256, "words": [3]}
      ]
    },
    {
      "index": 1,
      "byte": 192,
      "name": {"offset": 56, "text": "Schön_ä"},
      "mainShader": {"offset": 65520, "text": null},
      "variant": {"offset": 35, "text": ""},
      "shader": "::",
      "flags": [9, 0, 0, 65535],
      "parameterCount": 2,
      "complete": true,
      "items": [
        {"byte": 210, "name": {"offset": 70, "text": "coverMap"}, "type": 3, "numbers": [0, 5]},
        {"byte": 218, "name": {"offset": 79, "text": "other"}, "type": 4, "value": {"offset": 1, "text": null}}
      ]
    },
    {
      "index": 2,
      "byte": 226,
      "name": {"offset": 79, "text": "other"},
      "mainShader": {"offset": 4, "text": "yCS_head"},
      "variant": {"offset": 13, "text": "Normal"},
      "shader": "yCS_head::Normal",
      "flags": [0, 0, 0, 0],
      "parameterCount": 0,
      "complete": true,
      "items": []
    }
  ],
  "truncated": false
}
)";

const char* const ExampleText = R"(MTLs Dictionary: 5 strings, 35 bytes
  Index  Offset  Item
      0       0  "mat"
      1       4  "yCS_gear"
      2      13  "Normal"
      3      20  "colorMap"
      4      29  "tex_d"
Found 1 materials:
  Index 0 (byte 52)  Main Shader "yCS_gear" @4  Model_ID "mat" @0  SubMtls # 1  P0 "Normal" @13
    shader yCS_gear::Normal  flags 1 2 3 4
    byte 70  "colorMap" @20  type 4  value "tex_d" @29
)";

const QString ModelIdLimit = QStringLiteral(
    "material 0: Model_ID offset 65535 is past 65534, the last one a saved name or main "
    "shader can use");

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void usage_data();
    void usage();
    void info_data();
    void info();
    void dumpTextExample();
    void dumpText_data();
    void dumpText();
    void dumpJson_data();
    void dumpJson();
    void dumpJsonEscapes();
    void check_data();
    void check();
    void checkSeveralFiles_data();
    void checkSeveralFiles();
    void resaveMatchesEditor_data();
    void resaveMatchesEditor();
    void resaveFailures_data();
    void resaveFailures();
    void resaveDefaultCatalogue();
};

void TestCli::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("errorStart"); // empty: help on standard output, nothing on error

    QTest::newRow("--help") << QStringList{"--help"} << int(Success) << QString();
    QTest::newRow("-h") << QStringList{"-h"} << int(Success) << QString();
    QTest::newRow("help after a command")
        << QStringList{"dump", "--help"} << int(Success) << QString();
    QTest::newRow("nothing") << QStringList{} << int(Failure) << "mtls: no command given\n";
    QTest::newRow("unknown command")
        << QStringList{"show", "a.mtls"} << int(Failure) << "mtls: unknown command show\n";
    QTest::newRow("info without files")
        << QStringList{"info"} << int(Failure) << "mtls: info needs at least one file\n";
    QTest::newRow("check without files")
        << QStringList{"check"} << int(Failure) << "mtls: check needs at least one file\n";
    QTest::newRow("dump of two files")
        << QStringList{"dump", "a.mtls", "b.mtls"} << int(Failure) << "mtls: dump takes one file\n";
    QTest::newRow("resave with one file") << QStringList{"resave", "a.mtls"} << int(Failure)
                                          << "mtls: resave takes an input and an output file\n";
    QTest::newRow("--json is dump's") << QStringList{"info", "a.mtls", "--json"} << int(Failure)
                                      << "mtls: unknown option --json for info\n";
    QTest::newRow("--catalogue without a name")
        << QStringList{"resave", "a.mtls", "b.mtls", "--catalogue"} << int(Failure)
        << "mtls: --catalogue needs a file name\n";
    QTest::newRow("unknown option") << QStringList{"check", "--fast", "a.mtls"} << int(Failure)
                                    << "mtls: unknown option --fast for check\n";
}

void TestCli::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, errorStart);
    ScratchDirectory files;
    const ToolRun run = runTool(arguments);
    QCOMPARE(run.status, status);
    if (errorStart.isEmpty()) {
        QVERIFY2(run.out.startsWith("Usage: mtls COMMAND [ARGUMENTS]\n"), qPrintable(run.out));
        for (const char* command : {"  info FILE...", "  dump FILE [--json]", "  check FILE...",
                                    "  resave IN OUT [--catalogue FILE]", "xargs -0 -P 4"})
            QVERIFY2(run.out.contains(QLatin1String(command)), command);
        QCOMPARE(run.err, QString());
    } else {
        QCOMPARE(run.out, QString());
        QCOMPARE(run.err, errorStart + "Run mtls --help for the commands.\n");
    }
}

void TestCli::info_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::newRow("example") << exampleBlock() << int(Success)
                             << "lib.mtls: 1 materials, 5 strings, 35 dictionary bytes, 1 shaders: "
                                "yCS_gear::Normal\n"
                             << QString();
    QTest::newRow("rich: an unresolved main shader and variant make ::")
        << richBlock() << int(Success)
        << "lib.mtls: 3 materials, 15 strings, 92 dictionary bytes, 2 shaders: ::, "
           "yCS_head::Normal\n"
        << QString();
    QTest::newRow("no materials") << buildBlock({"a", "bc"}, {}) << int(Success)
                                  << "lib.mtls: 0 materials, 2 strings, 5 dictionary bytes, 0 "
                                     "shaders\n"
                                  << QString();
    QTest::newRow("one of two materials present")
        << examplePatched(48, le32(2)) << int(Success)
        << "lib.mtls: 2 materials, 5 strings, 35 dictionary bytes, 1 shaders: yCS_gear::Normal; "
           "truncated, 1 of 2 materials read\n"
        << QString();
    QTest::newRow("wrong magic") << examplePatched(0, "MTLS") << int(Problems) << QString()
                                 << "mtls: lib.mtls: Invalid File\n";
    QTest::newRow("empty file") << QByteArray() << int(Problems) << QString()
                                << "mtls: lib.mtls: Invalid File\n";
}

void TestCli::info()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("lib.mtls"), bytes));
    const ToolRun run = runTool({"info", "lib.mtls"});
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, err);
    QCOMPARE(run.status, status);
}

void TestCli::dumpText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines"); // each must be a whole line of the dump

    QTest::newRow("global flags, type 2, hash, the 0x3F80 entry")
        << richBlock()
        << QStringList{"    byte 134  \"gain\" @36  type 1  numbers 7 9",
                       "    byte 146  Global@ShaderFlag0-16256",
                       "    byte 154  \"tint\" @41  type 2  values 0x1122334455667788 "
                       "0x000000000000002a",
                       "    byte 174  \"hashA\" @46  type 5  hash 0x00000000deaddead",
                       "    byte 186  \"odd\" @52  type 16256  word 3"};
    QTest::newRow("strings that do not resolve, non-ASCII, empty")
        << richBlock()
        << QStringList{"     10      56  \"Schön_ä\"",
                       "  Index 1 (byte 192)  Main Shader (none) @65520  Model_ID \"Schön_ä\" "
                       "@56  SubMtls # 2  P0 \"\" @35",
                       "    shader ::  flags 9 0 0 65535",
                       "    byte 218  \"other\" @79  type 4  value (none) @1"};
    QTest::newRow("fewer materials than claimed")
        << examplePatched(48, le32(2))
        << QStringList{"Found 2 materials:", "Truncated: the data ends before everything its "
                                             "counts announce; 1 of 2 materials read."};
    QTest::newRow("record cut before its parameter count")
        << exampleBlock().left(67)
        << QStringList{"  Index 0 (byte 52)  Main Shader \"yCS_gear\" @4  Model_ID \"mat\" @0  "
                       "SubMtls # (cut off)  P0 \"Normal\" @13",
                       "    (the record is cut off here)"};
    QTest::newRow("record cut inside its entry")
        << exampleBlock().left(74)
        << QStringList{"  Index 0 (byte 52)  Main Shader \"yCS_gear\" @4  Model_ID \"mat\" @0  "
                       "SubMtls # 1  P0 \"Normal\" @13",
                       "    (the record is cut off here)"};
}

void TestCli::dumpTextExample()
{
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("lib.mtls"), exampleBlock()));
    const ToolRun run = runTool({"dump", "lib.mtls"});
    QCOMPARE(run.out, QString::fromUtf8(ExampleText));
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, int(Success));
}

void TestCli::dumpText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("lib.mtls"), bytes));
    const ToolRun run = runTool({"dump", "lib.mtls"});
    QCOMPARE(run.status, int(Success));
    const QStringList shown = run.out.split('\n');
    for (const QString& line : lines)
        QVERIFY2(shown.contains(line), qPrintable(line + "\n--- in ---\n" + run.out));
}

void TestCli::dumpJson_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("json");
    QTest::newRow("example") << exampleBlock() << QString::fromUtf8(ExampleJson);
    QTest::newRow("rich") << richBlock() << QString::fromUtf8(RichJson);
}

void TestCli::dumpJson()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, json);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("lib.mtls"), bytes));
    const ToolRun first = runTool({"dump", "--json", "lib.mtls"});
    QCOMPARE(first.out, json);
    QCOMPARE(first.err, QString());
    QCOMPARE(first.status, int(Success));
    const ToolRun second = runTool({"dump", "lib.mtls", "--json"});
    QCOMPARE(second.out, first.out);

    QJsonParseError error;
    QJsonDocument::fromJson(first.out.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
}

void TestCli::dumpJsonEscapes()
{
    // Strings come from strangers: quotes, backslashes and control bytes must stay JSON.
    const QStringList dictionary{"say \"hi\"", "back\\slash", QString("tab\there\x01") + "end",
                                 "line\nbreak", "%1 %2"};
    RawMaterial material;
    material.modelId = offsetOf(dictionary, dictionary[0]);
    material.mainShader = offsetOf(dictionary, dictionary[4]);
    material.variant = offsetOf(dictionary, dictionary[1]);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("odd.mtls"), buildBlock(dictionary, {material})));
    const ToolRun run = runTool({"dump", "--json", "odd.mtls"});
    QCOMPARE(run.status, int(Success));
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonArray strings = root.value("dictionary").toArray();
    QCOMPARE(strings.size(), dictionary.size());
    for (int k = 0; k < dictionary.size(); ++k)
        QCOMPARE(strings.at(k).toObject().value("text").toString(), dictionary.at(k));
    const QJsonObject first = root.value("materials").toArray().at(0).toObject();
    QCOMPARE(first.value("shader").toString(), QString("%1 %2::back\\slash"));
    QVERIFY(run.out.contains(R"("text": "tab\there\u0001end")"));
}

void TestCli::check_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");

    QTest::newRow("clean: example") << exampleBlock() << int(Success) << "lib.mtls: ok\n";
    QTest::newRow("clean: no materials")
        << buildBlock({"a"}, {}) << int(Success) << "lib.mtls: ok\n";
    QTest::newRow("clean: a type 1 number that falls inside a string")
        << buildBlock({"mat", "yCS_gear", "Normal", "gain"},
                      {RawMaterial{0, 4, 13, {}, 1, {entry1(20, 1, 2)}}})
        << int(Success) << "lib.mtls: ok\n";
    QTest::newRow("clean: variant at 65535")
        << bigBlock(0, 4, 65535, 29) << int(Success) << "lib.mtls: ok\n";
    QTest::newRow("clean: texture at 65535")
        << bigBlock(0, 4, 13, 65535) << int(Success) << "lib.mtls: ok\n";

    QTest::newRow("Model_ID at 65535")
        << bigBlock(65535, 4, 13, 29) << int(Problems) << "lib.mtls:65556: " + ModelIdLimit + "\n";
    QTest::newRow("main shader at 65535")
        << bigBlock(0, 65535, 13, 29) << int(Problems)
        << "lib.mtls:65558: material 0: main shader offset 65535 is past 65534, the last one a "
           "saved name or main shader can use\n";
    QTest::newRow("65535 in a short dictionary")
        << examplePatched(52, le16(65535)) << int(Problems)
        << "lib.mtls:52: material 0: Model_ID offset 65535 starts no dictionary string\n";

    QTest::newRow("Model_ID inside a string")
        << examplePatched(52, le16(1)) << int(Problems)
        << "lib.mtls:52: material 0: Model_ID offset 1 starts no dictionary string\n";
    QTest::newRow("main shader and variant inside strings")
        << examplePatched(54, le16(5) + le16(1) + le16(14)) << int(Problems)
        << "lib.mtls:54: material 0: main shader offset 5 starts no dictionary string\n"
           "lib.mtls:58: material 0: shader variant offset 14 starts no dictionary string\n";
    QTest::newRow("parameter name and texture inside strings")
        << examplePatched(70, le16(21) + le16(4) + le16(30)) << int(Problems)
        << "lib.mtls:70: material 0 entry 0: parameter name offset 21 starts no dictionary "
           "string\n"
           "lib.mtls:74: material 0 entry 0: texture value offset 30 starts no dictionary "
           "string\n";
    QTest::newRow("offset past the dictionary")
        << examplePatched(74, le16(35)) << int(Problems)
        << "lib.mtls:74: material 0 entry 0: texture value offset 35 starts no dictionary "
           "string\n";

    QTest::newRow("truncated inside an entry")
        << exampleBlock().left(74) << int(Problems)
        << "lib.mtls:70: material 0: parameter entry 1 of 1 cut off\n";
    QTest::newRow("truncated inside the dictionary")
        << exampleBlock().left(30) << int(Problems)
        << "lib.mtls:25: dictionary string without its zero byte\n";
    QTest::newRow("truncated before the material count")
        << exampleBlock().left(50) << int(Problems) << "lib.mtls:48: material count cut off\n";
    QTest::newRow("fewer records than the count") << examplePatched(48, le32(2)) << int(Problems)
                                                  << "lib.mtls:78: 1 of 2 materials present\n";
    QTest::newRow("trailing bytes") << exampleBlock() + QByteArray(4, '\0') << int(Problems)
                                    << "lib.mtls:78: 4 bytes after the last record\n";
    QTest::newRow("padding not zero") << examplePatched(47, "\x01") << int(Problems)
                                      << "lib.mtls:47: padding after the dictionary is not zero\n";
    QTest::newRow("dictionary runs past 12 + S")
        << examplePatched(8, le32(34)) << int(Problems)
        << "lib.mtls:47: dictionary does not end at 12 + S (46)\n";
    QTest::newRow("wrong magic")
        << examplePatched(0, "MTLS") << int(Problems)
        << "lib.mtls:0: not an MTLs block: it starts with 4D 54 4C 53, not 4D 54 4C 73 "
           "(\"MTLs\")\n";
    QTest::newRow("empty file") << QByteArray() << int(Problems)
                                << "lib.mtls:0: not an MTLs block: 0 bytes, too short for the "
                                   "magic\n";
    QTest::newRow("rich: problems in file order")
        << richBlock() << int(Problems)
        << "lib.mtls:194: material 1: main shader offset 65520 starts no dictionary string\n"
           "lib.mtls:222: material 1 entry 1: texture value offset 1 starts no dictionary "
           "string\n";
}

void TestCli::check()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QString, out);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("lib.mtls"), bytes));
    const ToolRun run = runTool({"check", "lib.mtls"});
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, status);
}

void TestCli::checkSeveralFiles_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::newRow("all clean") << QStringList{"a.mtls", "b.mtls"} << int(Success)
                               << "a.mtls: ok\nb.mtls: ok\n"
                               << QString();
    QTest::newRow("one with a problem")
        << QStringList{"a.mtls", "cut.mtls", "b.mtls"} << int(Problems)
        << "a.mtls: ok\ncut.mtls:48: material count cut off\nb.mtls: ok\n"
        << QString();
    QTest::newRow("a missing file outweighs a problem")
        << QStringList{"cut.mtls", "gone.mtls", "a.mtls"} << int(Failure)
        << "cut.mtls:48: material count cut off\na.mtls: ok\n"
        << "mtls: gone.mtls: Cannot open file : No such file or directory\n";
    QTest::newRow("a folder is no file")
        << QStringList{"a.mtls", "sub"} << int(Failure) << "a.mtls: ok\n"
        << "mtls: sub: Cannot open file : file to open is a "
           "directory\n";
}

void TestCli::checkSeveralFiles()
{
    QFETCH(QStringList, names);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("a.mtls"), exampleBlock()));
    QVERIFY(writeFile(files.path("b.mtls"), savedRich("23061A26362263AC")));
    QVERIFY(writeFile(files.path("cut.mtls"), exampleBlock().left(50)));
    QVERIFY(QDir(files.path(QString())).mkdir("sub"));
    const ToolRun run = runTool(QStringList{"check"} + names);
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, err);
    QCOMPARE(run.status, status);
}

void TestCli::resaveMatchesEditor_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("folder"); // where the library and both saves lie
    QTest::addColumn<QByteArray>("catalogue");
    QTest::addColumn<QByteArray>("saved"); // empty: no file is left
    // The saved rich library, its hash taken from the absolute save folder + "/Textures/".
    QTest::addColumn<bool>("hashFromFolder");
    QTest::addColumn<QString>("message"); // the editor's box, the tool's error

    QTest::newRow("example, fresh catalogue")
        << exampleBlock() << "work" << QByteArray() << exampleBlock() << false << QString();
    QTest::newRow("example, the catalogue's flag words win")
        << exampleBlock() << "work" << QByteArray("[Flags]\nyCS_gear%3A%3ANormal=7, 8, 9, 10\n")
        << hex("4D544C73 05000000 23000000 6D617400 7943535F6765617200 4E6F726D616C00 "
               "636F6C6F724D617000 7465785F6400 00 01000000 0000 0400 0700 0D00 0800 0900 0A00 "
               "0000 0100 1400 0400 1D00 0000")
        << false << QString();
    QTest::newRow("example, one of two materials present")
        << examplePatched(48, le32(2)) << "work" << QByteArray() << exampleBlock() << false
        << QString();
    QTest::newRow("rich, in a Characters folder")
        << saveableRichBlock() << "mods/Characters/hero_01" << QByteArray()
        << savedRich("23061A26362263AC") << false << QString();
    QTest::newRow("rich, in a folder without a known top folder")
        << saveableRichBlock() << "plain" << QByteArray() << QByteArray() << true << QString();
    QTest::newRow("rich, in a Props folder")
        << saveableRichBlock() << "mods/Arena/Props" << QByteArray()
        << savedRich("A0513485514E8BD2") << false << QString();
    QTest::newRow("record cut before its parameter count")
        << exampleBlock().left(67) << "work" << QByteArray()
        << exampleBlock().left(52) + hex("0000 0400 0000 0D00 0000 0000 0000 0000 0000") << false
        << QString();
    QTest::newRow("variant at 65535") << bigBlock(0, 4, 65535, 29) << "work" << QByteArray()
                                      << bigBlock(0, 4, 65535, 29) << false << QString();
    QTest::newRow("Model_ID at 65535: string limit")
        << bigBlock(65535, 4, 13, 29) << "work" << QByteArray() << QByteArray() << false
        << "String Limit Reached";
    QTest::newRow("rich with a 0x3F80 entry: no type to write")
        << richBlock() << "work" << QByteArray() << QByteArray() << false
        << "Unknown parameter type: odd";
}

void TestCli::resaveMatchesEditor()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, folder);
    QFETCH(QByteArray, catalogue);
    QFETCH(QByteArray, saved);
    QFETCH(bool, hashFromFolder);
    QFETCH(QString, message);
    ScratchDirectory files;
    QVERIFY(QDir(files.path(QString())).mkpath(folder));
    if (hashFromFolder) {
        const QByteArray texture = (files.path(folder) + "/Textures/tex_d.tex").toLower().toUtf8();
        saved = savedRich(le64(referenceFnv1a64(texture)).toHex().constData());
    }
    const QString in = folder + "/body.mtls";
    QVERIFY(writeFile(files.path(in), bytes));
    if (!catalogue.isEmpty()) {
        QVERIFY(writeFile(files.path("MTLs_Shaders.ini"), catalogue));
        QVERIFY(writeFile(files.path("tool.ini"), catalogue));
    }

    const QString editorOut = folder + "/saved_by_editor.mtls";
    {
        Window window;
        ModalAnswerer answers;
        testwindow::call(window.w, "open_mtl", files.path(in));
        answers.expectFileDialog(files.path(editorOut));
        testwindow::call(window.w, "rebuild_mtl");
        QCOMPARE(answers.pending(), 0);
        QList<ModalAnswerer::Message> expected;
        if (!message.isEmpty())
            expected.append({"Warning", message});
        QCOMPARE(answers.messages(), expected);
    }

    const QString toolOut = folder + "/saved_by_tool.mtls";
    const ToolRun run = runTool({"resave", in, toolOut, "--catalogue", "tool.ini"});
    QCOMPARE(run.err, message.isEmpty() ? QString() : "mtls: " + toolOut + ": " + message + "\n");
    QCOMPARE(run.status, message.isEmpty() ? int(Success) : int(Problems));

    const bool stringLimit = message == QLatin1String("String Limit Reached");
    QCOMPARE(QFile::exists(files.path(editorOut)), message.isEmpty() || stringLimit);
    QCOMPARE(QFile::exists(files.path(toolOut)), message.isEmpty() || stringLimit);
    QCOMPARE(readFile(files.path(toolOut)), readFile(files.path(editorOut)));
    QCOMPARE(readFile(files.path(toolOut)), saved);
    // Both learnt the same from the library and from the file they saved.
    QCOMPARE(readFile(files.path("tool.ini")), readFile(files.path("MTLs_Shaders.ini")));
}

void TestCli::resaveFailures_data()
{
    QTest::addColumn<QByteArray>("bytes"); // the input; empty: there is none
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err");
    QTest::addColumn<bool>("outputKept");    // an existing output keeps its bytes
    QTest::addColumn<bool>("catalogueMade"); // the catalogue file exists afterwards

    QTest::newRow("not a library") << examplePatched(0, "MTLS") << "in.mtls"
                                   << "out.mtls" << int(Problems) << "mtls: in.mtls: Invalid File\n"
                                   << true << false;
    QTest::newRow("no materials")
        << buildBlock({"a"}, {}) << "in.mtls"
        << "out.mtls" << int(Problems)
        << "mtls: in.mtls: No MTL data loaded. Load/add a Material to save file.\n"
        << true << false;
    QTest::newRow("unknown parameter type")
        << richBlock() << "in.mtls"
        << "out.mtls" << int(Problems) << "mtls: out.mtls: Unknown parameter type: odd\n"
        << true << true;
    QTest::newRow("string limit empties the output")
        << bigBlock(0, 65535, 13, 29) << "in.mtls"
        << "out.mtls" << int(Problems) << "mtls: out.mtls: String Limit Reached\n"
        << false << true;
    QTest::newRow("missing input") << QByteArray() << "in.mtls"
                                   << "out.mtls" << int(Failure)
                                   << "mtls: in.mtls: Cannot open file : No such file or "
                                      "directory\n"
                                   << true << false;
    QTest::newRow("output folder missing")
        << exampleBlock() << "in.mtls"
        << "nowhere/out.mtls" << int(Failure)
        << "mtls: nowhere/out.mtls: Cannot open file : No such file or directory\n"
        << true << true;
    QTest::newRow("a model file") << exampleBlock() << "in.MDL"
                                  << "out.mtls" << int(Failure)
                                  << "mtls: in.MDL: a model file is no library: open it in the "
                                     "editor\n"
                                  << true << false;
}

void TestCli::resaveFailures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, in);
    QFETCH(QString, out);
    QFETCH(int, status);
    QFETCH(QString, err);
    QFETCH(bool, outputKept);
    QFETCH(bool, catalogueMade);
    ScratchDirectory files;
    if (!bytes.isEmpty())
        QVERIFY(writeFile(files.path(in), bytes));
    const QByteArray before("earlier content");
    const bool outputExists = QDir(files.path(QString())).exists(QFileInfo(out).path());
    if (outputExists)
        QVERIFY(writeFile(files.path(out), before));

    const ToolRun run = runTool({"resave", in, out});
    QCOMPARE(run.err, err);
    QCOMPARE(run.out, QString());
    QCOMPARE(run.status, status);
    if (outputExists)
        QCOMPARE(readFile(files.path(out)), outputKept ? before : QByteArray());
    QCOMPARE(QFile::exists(files.path("MTLs_Shaders.ini")), catalogueMade);
}

void TestCli::resaveDefaultCatalogue()
{
    // Without --catalogue the tool learns into MTLs_Shaders.ini where it runs, as the editor.
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("in.mtls"), exampleBlock()));
    const ToolRun run = runTool({"resave", "in.mtls", "out.mtls"});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, int(Success));
    QCOMPARE(readFile(files.path("out.mtls")), exampleBlock());
    QSettings catalogue(files.path("MTLs_Shaders.ini"), QSettings::IniFormat);
    QCOMPARE(catalogue.value("Flags/yCS_gear::Normal").toStringList(),
             (QStringList{"1", "2", "3", "4"}));
    QCOMPARE(catalogue.value("Shaders/yCS_gear::Normal").toStringList(),
             (QStringList{"colorMap", "tex_d"}));
    QCOMPARE(catalogue.value("Params/yCS_gear::Normal").toInt(), 1);
    QCOMPARE(catalogue.value("colorMap").toString(), QString("4"));
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
