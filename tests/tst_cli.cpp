// The mtls tool, run as the program it is: what each command prints and its exit status.
#include "support/core/blockbuilder.h"
#include "support/core/scratch.h"

#include <QtTest>

using namespace testdata;
using namespace testfiles;

static ToolRun mtlsRun(const QStringList& arguments)
{
    return runTool(MTLS_BINARY, arguments);
}

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void example()
    {
        ScratchDirectory files;
        QVERIFY(writeFile("lib.mtls", exampleBlock()));
        const ToolRun help = mtlsRun({"--help"});
        QVERIFY(help.out.startsWith("Usage: mtls"));
        const ToolRun info = mtlsRun({"info", "lib.mtls"});
        QCOMPARE(info.text(), QString("lib.mtls: 1 materials, 5 strings, 35 dictionary bytes, 1 "
                                      "shaders: yCS_gear::Normal\n"));
        const ToolRun dump = mtlsRun({"dump", "lib.mtls"});
        QCOMPARE(dump.text(), QString(R"(MTLs Dictionary: 5 strings, 35 bytes
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
        const ToolRun check = mtlsRun({"check", "lib.mtls"});
        QCOMPARE(check.text(), QString("lib.mtls: ok\n"));
        for (const ToolRun& run : {help, info, dump, check})
            QVERIFY(run.status == 0 && run.err.isEmpty());
        QVERIFY(writeFile("rich.mtls", richBlock()));
        const QString rich = mtlsRun({"dump", "rich.mtls"}).text();
        for (const char* part :
             {"byte 146  Global@ShaderFlag0-16256\n", "byte 186  \"odd\" @52  type 16256  word 3\n",
              "\"tint\" @41  type 2  values 0x1122334455667788 0x000000000000002a\n",
              "\"hashA\" @46  type 5  hash 0x00000000deaddead\n",
              "Index 1 (byte 192)  Main Shader (none) @65520  Model_ID \"Schön_ä\" @56"})
            QVERIFY2(rich.contains(QString::fromUtf8(part)), part);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
