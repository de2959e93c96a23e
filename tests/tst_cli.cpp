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
    process.start(QStringLiteral(MTLS_BINARY), arguments);
    const bool finished =
        process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    if (!finished)
        process.kill();
    return {finished ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QByteArray examplePatched(int at, const QByteArray& bytes)
{
    QByteArray block = exampleBlock();
    block.replace(at, bytes.size(), bytes);
    return block;
}

// One material like the example's, its four references given, over a dictionary whose
// filler ends at 65535, where "big" starts.
QByteArray bigBlock(quint16 modelId, quint16 mainShader, quint16 variant, quint16 texture)
{
    const QStringList dictionary{
        "mat", "yCS_gear", "Normal", "colorMap", "tex_d", QString(65499, QLatin1Char('x')), "big"};
    const RawMaterial material{modelId,      mainShader, variant,
                               {1, 2, 3, 4}, 1,          {entry4(20, texture)}};
    return buildBlock(dictionary, {material});
}

// A window whose dialog goes with it; the program itself never deletes the dialog.
struct Window {
    MainWindow w;
    ~Window() { delete w.dialog; }
};

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

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void eachCommandOnTheExample();
    void dumpTextOfEveryItemKind();
    void dumpJson();
    void statuses_data();
    void statuses();
    void checkFindings_data();
    void checkFindings();
    void resaveMatchesEditor_data();
    void resaveMatchesEditor();
};

void TestCli::eachCommandOnTheExample()
{
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("lib.mtls"), exampleBlock()));
    const ToolRun help = runTool({"--help"});
    QVERIFY2(help.out.startsWith("Usage: mtls COMMAND [ARGUMENTS]\n"), qPrintable(help.out));
    const ToolRun info = runTool({"info", "lib.mtls"});
    QCOMPARE(info.out, QString("lib.mtls: 1 materials, 5 strings, 35 dictionary bytes, 1 "
                               "shaders: yCS_gear::Normal\n"));
    const ToolRun dump = runTool({"dump", "lib.mtls"});
    QCOMPARE(dump.out, QString::fromUtf8(ExampleText));
    const ToolRun check = runTool({"check", "lib.mtls"});
    QCOMPARE(check.out, QString("lib.mtls: ok\n"));
    const ToolRun resave = runTool({"resave", "lib.mtls", "out.mtls"});
    QCOMPARE(readFile(files.path("out.mtls")), exampleBlock());
    // Without --catalogue it learns into the catalogue where it runs, as the editor does.
    QSettings learnt(files.path("MTLs_Shaders.ini"), QSettings::IniFormat);
    QCOMPARE(learnt.value("Flags/yCS_gear::Normal").toStringList(),
             (QStringList{"1", "2", "3", "4"}));
    for (const ToolRun& run : {help, info, dump, check, resave}) {
        QCOMPARE(run.status, int(Success));
        QCOMPARE(run.err, QString());
    }
}

void TestCli::dumpTextOfEveryItemKind()
{
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("lib.mtls"), richBlock()));
    const ToolRun run = runTool({"dump", "lib.mtls"});
    QCOMPARE(run.status, int(Success));
    const QStringList shown = run.out.split('\n');
    for (const char* line :
         {"    byte 146  Global@ShaderFlag0-16256",
          "    byte 154  \"tint\" @41  type 2  values 0x1122334455667788 0x000000000000002a",
          "    byte 174  \"hashA\" @46  type 5  hash 0x00000000deaddead",
          "    byte 186  \"odd\" @52  type 16256  word 3",
          "  Index 1 (byte 192)  Main Shader (none) @65520  Model_ID \"Schön_ä\" @56  SubMtls # 2  "
          "P0 \"\" @35"})
        QVERIFY2(shown.contains(QString::fromUtf8(line)), line);
}

void TestCli::dumpJson()
{
    // Strings come from strangers: quotes, backslashes and control bytes must stay JSON.
    const QStringList dictionary{"say \"hi\"", "back\\slash", QString("tab\there\x01") + "end",
                                 "colorMap", "tex_d"};
    const RawMaterial material{0, 9, 20, {1, 2, 3, 4}, 1, {entry4(33, 42)}};
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("odd.mtls"), buildBlock(dictionary, {material})));
    const ToolRun run = runTool({"dump", "--json", "odd.mtls"});
    QCOMPARE(run.status, int(Success));
    QCOMPARE(runTool({"dump", "odd.mtls", "--json"}).out, run.out);
    QVERIFY(run.out.contains(R"("text": "tab\there\u0001end")"));

    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(root.value("stringTableSize").toInt(), 48);
    const QJsonArray strings = root.value("dictionary").toArray();
    QCOMPARE(strings.size(), dictionary.size());
    for (int k = 0; k < dictionary.size(); ++k)
        QCOMPARE(strings.at(k).toObject().value("text").toString(), dictionary.at(k));
    const QJsonObject first = root.value("materials").toArray().at(0).toObject();
    const QJsonObject item = first.value("items").toArray().at(0).toObject();
    QCOMPARE(item.value("byte").toInt(), 82);
    QCOMPARE(item.value("value").toObject().value("offset").toInt(), 42);
    QCOMPARE(root.value("truncated"), QJsonValue(false));
}

void TestCli::statuses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QString usage = QStringLiteral("Run mtls --help for the commands.\n");

    QTest::newRow("no command") << QStringList{} << int(Failure) << QString()
                                << "mtls: no command given\n" + usage;
    QTest::newRow("unknown option")
        << QStringList{"check", "--fast", "a.mtls"} << int(Failure) << QString()
        << "mtls: unknown option --fast for check\n" + usage;
    QTest::newRow("info of no library") << QStringList{"info", "bad.mtls"} << int(Problems)
                                        << QString() << "mtls: bad.mtls: Invalid File\n";
    QTest::newRow("check finds a problem")
        << QStringList{"check", "a.mtls", "cut.mtls"} << int(Problems)
        << "a.mtls: ok\ncut.mtls:48: material count cut off\n"
        << QString();
    QTest::newRow("a missing file outweighs a problem")
        << QStringList{"check", "cut.mtls", "gone.mtls", "a.mtls"} << int(Failure)
        << "cut.mtls:48: material count cut off\na.mtls: ok\n"
        << "mtls: gone.mtls: Cannot open file : No such file or directory\n";
    QTest::newRow("resave of an unknown type")
        << QStringList{"resave", "rich.mtls", "out.mtls"} << int(Problems) << QString()
        << "mtls: out.mtls: Unknown parameter type: odd\n";
    QTest::newRow("resave of a model file")
        << QStringList{"resave", "in.MDL", "out.mtls"} << int(Failure) << QString()
        << "mtls: in.MDL: a model file is no library: open it in the editor\n";
}

void TestCli::statuses()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("a.mtls"), exampleBlock()));
    QVERIFY(writeFile(files.path("cut.mtls"), exampleBlock().left(50)));
    QVERIFY(writeFile(files.path("bad.mtls"), examplePatched(0, "MTLS")));
    QVERIFY(writeFile(files.path("rich.mtls"), richBlock()));
    QVERIFY(writeFile(files.path("in.MDL"), exampleBlock()));
    QVERIFY(writeFile(files.path("out.mtls"), "earlier content"));
    const ToolRun run = runTool(arguments);
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, err);
    QCOMPARE(run.status, status);
    QCOMPARE(readFile(files.path("out.mtls")), QByteArray("earlier content"));
}

void TestCli::checkFindings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("out");

    QTest::newRow("variant and texture may sit at 65535")
        << bigBlock(0, 4, 65535, 65535) << "lib.mtls: ok\n";
    QTest::newRow("Model_ID at 65535")
        << bigBlock(65535, 4, 13, 29)
        << "lib.mtls:65556: material 0: Model_ID offset 65535 is past 65534, the last one a "
           "saved name or main shader can use\n";
    QTest::newRow("Model_ID inside a string")
        << examplePatched(52, le16(1))
        << "lib.mtls:52: material 0: Model_ID offset 1 starts no dictionary string\n";
    QTest::newRow("truncated inside an entry")
        << exampleBlock().left(74) << "lib.mtls:70: material 0: parameter entry 1 of 1 cut off\n";
    QTest::newRow("fewer records than the count")
        << examplePatched(48, le32(2)) << "lib.mtls:78: 1 of 2 materials present\n";
    QTest::newRow("trailing bytes")
        << exampleBlock() + QByteArray(4, '\0') << "lib.mtls:78: 4 bytes after the last record\n";
    QTest::newRow("rich: problems in file order")
        << richBlock()
        << "lib.mtls:188: warning: material 0 entry 4: type 16256 cannot be saved\n"
           "lib.mtls:194: material 1: main shader offset 65520 starts no dictionary string\n"
           "lib.mtls:222: material 1 entry 1: texture value offset 1 starts no dictionary "
           "string\n";
}

void TestCli::checkFindings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, out);
    ScratchDirectory files;
    QVERIFY(writeFile(files.path("lib.mtls"), bytes));
    const ToolRun run = runTool({"check", "lib.mtls"});
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, out == "lib.mtls: ok\n" ? int(Success) : int(Problems));
}

void TestCli::resaveMatchesEditor_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("folder"); // where the library and both saves lie
    QTest::addColumn<QByteArray>("catalogue");
    QTest::addColumn<QString>("message"); // the editor's box, the tool's error
    QTest::addColumn<QString>("lost");    // what the tool says it could not carry over

    QTest::newRow("example") << exampleBlock() << "work" << QByteArray() << QString() << QString();
    QTest::newRow("the catalogue's flag words win")
        << exampleBlock() << "work" << QByteArray("[Flags]\nyCS_gear%3A%3ANormal=7, 8, 9, 10\n")
        << QString() << QString();
    // The texture hashes take the absolute folder.
    QTest::newRow("rich, in a folder without a known top folder")
        << richBlock(false) << "plain" << QByteArray() << QString()
        << "mtls: plain/body.mtls:188: material 1: main shader offset 65520 starts no dictionary "
           "string\nmtls: plain/body.mtls:214: material 1 entry 1: texture value offset 1 starts "
           "no dictionary string\n";
    QTest::newRow("Model_ID at 65535") << bigBlock(65535, 4, 13, 29) << "work" << QByteArray()
                                       << "String Limit Reached" << QString();
    QTest::newRow("a 0x3F80 entry")
        << richBlock() << "work" << QByteArray() << "Unknown parameter type: odd" << QString();
}

void TestCli::resaveMatchesEditor()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, folder);
    QFETCH(QByteArray, catalogue);
    QFETCH(QString, message);
    QFETCH(QString, lost);
    ScratchDirectory files;
    QVERIFY(QDir(files.path(QString())).mkpath(folder));
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
    QCOMPARE(run.err, message.isEmpty() ? lost : "mtls: " + toolOut + ": " + message + "\n");
    QCOMPARE(run.status, message.isEmpty() && lost.isEmpty() ? int(Success) : int(Problems));

    // A refusal leaves no file behind.
    QCOMPARE(QFile::exists(files.path(editorOut)), message.isEmpty());
    QCOMPARE(QFile::exists(files.path(toolOut)), message.isEmpty());
    QCOMPARE(readFile(files.path(toolOut)), readFile(files.path(editorOut)));
    // Both learnt the same from the library and from the file they saved.
    QCOMPARE(readFile(files.path("tool.ini")), readFile(files.path("MTLs_Shaders.ini")));
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
