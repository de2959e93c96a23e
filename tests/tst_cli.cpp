// The mtls tool, run as the program it is: what each command prints, its exit status, and that
// resave writes exactly what the editor's own open-and-save writes from the same file.
#include "app/mainwindow.h"
#include "authoring/dialog.h"
#include "mtls/blockcheck.h"
#include "support/core/blockbuilder.h"
#include "support/gui/modalanswerer.h"
#include "support/gui/windowhelpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace testdata;
using namespace testwindow;

namespace {

struct ToolRun {
    int status = -1; // -1: the tool did not finish on its own
    QString out, err;
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

} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void example()
    {
        ScratchDirectory files;
        QVERIFY(writeFile("lib.mtls", exampleBlock()));
        const ToolRun help = runTool({"--help"});
        QVERIFY(help.out.startsWith("Usage: mtls"));
        const ToolRun info = runTool({"info", "lib.mtls"});
        QCOMPARE(info.out, QString("lib.mtls: 1 materials, 5 strings, 35 dictionary bytes, 1 "
                                   "shaders: yCS_gear::Normal\n"));
        const ToolRun dump = runTool({"dump", "lib.mtls"});
        QCOMPARE(dump.out, QString(R"(MTLs Dictionary: 5 strings, 35 bytes
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
)"));
        const ToolRun check = runTool({"check", "lib.mtls"});
        QCOMPARE(check.out, QString("lib.mtls: ok\n"));
        for (const ToolRun& run : {help, info, dump, check})
            QVERIFY(run.status == 0 && run.err.isEmpty());
        QVERIFY(writeFile("rich.mtls", richBlock()));
        const QString rich = runTool({"dump", "rich.mtls"}).out;
        for (const char* part :
             {"byte 146  Global@ShaderFlag0-16256\n", "byte 186  \"odd\" @52  type 16256  word 3\n",
              "\"tint\" @41  type 2  values 0x1122334455667788 0x000000000000002a\n",
              "\"hashA\" @46  type 5  hash 0x00000000deaddead\n",
              "Index 1 (byte 192)  Main Shader (none) @65520  Model_ID \"Schön_ä\" @56"})
            QVERIFY2(rich.contains(QString::fromUtf8(part)), part);
        // Strings from strangers stay JSON: quotes, backslashes and control bytes.
        const QStringList odd{"say \"hi\"", "back\\slash", QString("tab\there\x01") + "end"};
        QVERIFY(writeFile("odd.mtls", buildBlock(odd, {{0, 9, 20, {}, 1, {entry4(9, 20)}}})));
        const ToolRun json = runTool({"dump", "odd.mtls", "--json"});
        QJsonParseError error;
        const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(root.value("stringTableSize").toInt(), 33);
        QCOMPARE(root.value("dictionary").toArray().at(2).toObject().value("text").toString(),
                 odd[2]);
        const QJsonObject item = root.value("materials")[0]["items"][0].toObject();
        QCOMPARE(item.value("byte").toInt(), 70);
        QCOMPARE(item.value("value")["offset"].toInt(), 20);
        QCOMPARE(root.value("truncated"), QJsonValue(false));
    }

    // Per run: arguments, status, out, err ("?": any text). No run touches out.mtls.
    void statuses()
    {
        ScratchDirectory files;
        QVERIFY(writeFile("a.mtls", exampleBlock()) && writeFile("in.MDL", exampleBlock()));
        QVERIFY(writeFile("cut.mtls", exampleBlock().left(50)) && writeFile("bad.mtls", "MTLS"));
        QVERIFY(writeFile("rich.mtls", richBlock()) && writeFile("out.mtls", "earlier"));
        const char* cases[][4] = {
            {"", "2", "", "?"},
            {"check --fast a.mtls", "2", "", "?"},
            {"info --json a.mtls", "2", "", "?"}, // --json belongs to dump
            {"info bad.mtls", "1", "", "mtls: bad.mtls: Invalid File\n"},
            {"check a.mtls cut.mtls", "1", "a.mtls: ok\ncut.mtls:48: material count cut off\n", ""},
            {"check cut.mtls gone.mtls a.mtls", "2",
             "cut.mtls:48: material count cut off\na.mtls: ok\n",
             "mtls: gone.mtls: Cannot open file : No such file or directory\n"},
            {"resave rich.mtls out.mtls", "1", "", "mtls: out.mtls: Unknown parameter type: odd\n"},
            {"resave in.MDL out.mtls", "2", "",
             "mtls: in.MDL: a model file is no library: open it in the editor\n"}};
        for (const auto& c : cases) {
            const ToolRun run = runTool(QString(c[0]).split(' ', Qt::SkipEmptyParts));
            QCOMPARE(run.out, QString(c[2]));
            QVERIFY2(*c[3] == '?' ? !run.err.isEmpty() : run.err == c[3], qPrintable(run.err));
            QCOMPARE(run.status, *c[1] - '0');
            QCOMPARE(readFile("out.mtls"), QByteArray("earlier"));
        }
    }

    // The window's open-and-save and the tool's resave give the same bytes and teach the
    // catalogue the same; for a clean library those are the bytes it came with.
    void resaveMatchesEditor_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("catalogue");
        QTest::addColumn<QString>("message"); // the editor's box, the tool's error
        for (quint32 seed = 0; seed < 4; ++seed)
            QTest::addRow("generated %u", seed)
                << generatedLibrary(seed, "/x/Characters/hero/saved.mtls") << QByteArray()
                << QString();
        QTest::newRow("the catalogue's flag words win")
            << exampleBlock() << QByteArray("[Flags]\nyCS_gear%3A%3ANormal=7, 8, 9, 10\n")
            << QString();
        QTest::newRow("rich") << richBlock(false) << QByteArray() << QString();
        QTest::newRow("a 0x3F80 entry")
            << richBlock() << QByteArray() << "Unknown parameter type: odd";
    }
    void resaveMatchesEditor()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, catalogue);
        QFETCH(QString, message);
        ScratchDirectory files;
        QVERIFY(QDir().mkpath("Characters/hero"));
        const QString in = files.path("Characters/hero/in.mtls");
        const QString saved = files.path("Characters/hero/saved.mtls");
        QVERIFY(writeFile(in, bytes));
        if (!catalogue.isEmpty())
            QVERIFY(writeFile("MTLs_Shaders.ini", catalogue) && writeFile("tool.ini", catalogue));
        QByteArray editorBytes;
        {
            MainWindow window;
            ModalAnswerer answers;
            call(window, "open_mtl", in);
            answers.expectFileDialog(saved);
            if (!message.isEmpty())
                answers.expectMessage();
            call(window, "rebuild_mtl");
            QCOMPARE(answers.messages().value(0).text, message);
            editorBytes = readFile(saved);
            QFile::remove(saved);
            delete window.dialog;
        }
        const ToolRun run = runTool({"resave", in, saved, "--catalogue", "tool.ini"});
        // A library that is not clean is written as the editor writes it, and what it lost said.
        const bool clean = mtls::checkBlock(bytes).isEmpty();
        if (message.isEmpty())
            QCOMPARE(run.err.startsWith("mtls: " + in + ":"), !clean);
        else
            QCOMPARE(run.err, "mtls: " + saved + ": " + message + "\n");
        QCOMPARE(run.status, message.isEmpty() && clean ? 0 : 1);
        QCOMPARE(readFile(saved), editorBytes);
        if (QByteArray(QTest::currentDataTag()).startsWith("generated"))
            QCOMPARE(editorBytes, bytes);
        QCOMPARE(readFile("tool.ini"), readFile("MTLs_Shaders.ini"));
    }
};

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
