#include "authoring/modelfile.h"
#include "support/core/modelbuilder.h"

#include <QtTest>

using authoring::materialPlan;
using authoring::PlannedMaterial;
using authoring::readModelFile;
using authoring::shaderForPart;
using testsupport::ModelBuilder;

namespace {

// J_Hips, Body, Head, Eye_L: a small rig with one material list and the end chunk.
QByteArray rigModel()
{
    return ModelBuilder()
        .names({"J_Hips", "Body", "Head", "Eye_L"})
        .chunk("BONE", QByteArray(12, 'x'))
        .materials({1, 2, 3})
        .end()
        .build();
}

} // namespace

class TestModelFile : public QObject {
    Q_OBJECT

private slots:
    void builderLayout();
    void readsRig();
    void notAModel_data();
    void notAModel();
    void walk_data();
    void walk();
    void utf8Names();
    void hostile_data();
    void hostile();
    void hugeNameCountInSmallFile();
    void everyTruncation();
    void overlappingNames();
    void shaderRules_data();
    void shaderRules();
    void plan();
};

void TestModelFile::builderLayout()
{
    // The builder itself must match the layout the reader expects.
    const QByteArray built = ModelBuilder().name("Ab").materials({0}).end().build();
    QByteArray expected("MDL!");
    expected += QByteArray(36, char(0xEE));
    expected += QByteArray::fromHex("0b000000"); // S0: N, one offset, "Ab\0"
    expected += QByteArray::fromHex("01000000"); // N
    expected += QByteArray::fromHex("00000000"); // offset of "Ab"
    expected += QByteArray("Ab\0", 3);
    expected += QByteArray("MTL!") + QByteArray::fromHex("08000000 01000000 00000000");
    expected += QByteArray("MBfD") + QByteArray::fromHex("00000000");
    QCOMPARE(built, expected);
}

void TestModelFile::readsRig()
{
    const auto model = readModelFile(rigModel());
    QVERIFY(model);
    QCOMPARE(model->nameTable, QStringList({"J_Hips", "Body", "Head", "Eye_L"}));
    QCOMPARE(model->materials, QStringList({"Body", "Head", "Eye_L"}));
    QVERIFY(!model->damaged);
}

void TestModelFile::notAModel_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("three bytes") << QByteArray("MDL");
    QTest::newRow("byte-swapped magic") << ModelBuilder().magic("!LDM").name("A").end().build();
    QTest::newRow("library block") << ModelBuilder().magic("MTLs").name("A").end().build();
    QTest::newRow("lower case") << ModelBuilder().magic("mdl!").name("A").end().build();
}

void TestModelFile::notAModel()
{
    QFETCH(QByteArray, data);
    QVERIFY(!readModelFile(data));
}

void TestModelFile::walk_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("materials");
    const QStringList parts{"Body", "Head", "Hair", "Teeth"};

    QTest::newRow("same material in two lists")
        << ModelBuilder().names(parts).materials({2, 0}).materials({1, 0, 2, 3}).end().build()
        << QStringList{"Hair", "Body", "Head", "Teeth"};
    QTest::newRow("repeated index in one list")
        << ModelBuilder().names(parts).materials({3, 3, 1, 3}).end().build()
        << QStringList{"Teeth", "Head"};
    // Two table entries with the same text are one material.
    QTest::newRow("same text twice in the table")
        << ModelBuilder().names({"Body", "Head", "Body"}).materials({2, 1, 0}).end().build()
        << QStringList{"Body", "Head"};
    // Data of other chunks that looks like a list is not read.
    QTest::newRow("other chunks skipped")
        << ModelBuilder()
               .names(parts)
               .chunk("MTLs", ModelBuilder::le32(1) + ModelBuilder::le32(0))
               .chunk("XXXX")
               .materials({1})
               .chunk("!LTM", ModelBuilder::le32(1) + ModelBuilder::le32(2))
               .materials({3})
               .end()
               .build()
        << QStringList{"Head", "Teeth"};
    QTest::newRow("list after the end chunk ignored")
        << ModelBuilder().names(parts).materials({0}).end().materials({1}).build()
        << QStringList{"Body"};
    QTest::newRow("end chunk with data")
        << ModelBuilder().names(parts).materials({0}).chunk("MBfD", "junk").materials({1}).build()
        << QStringList{"Body"};
    QTest::newRow("no list") << ModelBuilder().names(parts).chunk("XXXX", "abcd").end().build()
                             << QStringList();
    QTest::newRow("empty lists")
        << ModelBuilder().names(parts).materials({}).materials({}).end().build() << QStringList();
    // A list chunk with padding after its indices: the next chunk still starts size + 8 on.
    QTest::newRow("padded list") << ModelBuilder()
                                        .names(parts)
                                        .materials(1, {2, 0xFFFFFFFF, 0xFFFFFFFF}, 16)
                                        .materials({0})
                                        .end()
                                        .build()
                                 << QStringList{"Hair", "Body"};
    // S0 decides where the chunks begin, not the end of the pool.
    QTest::newRow("chunks after a gap") << ModelBuilder()
                                               .names(parts)
                                               .nameChunkSize(4 + 16 + 21 + 8)
                                               .raw(QByteArray("MTL!\x00\x00\x00", 8))
                                               .materials({1})
                                               .end()
                                               .build()
                                        << QStringList{"Head"};
    QTest::newRow("no names") << ModelBuilder().chunk("XXXX").end().build() << QStringList();
}

void TestModelFile::walk()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, materials);
    const auto model = readModelFile(data);
    QVERIFY(model);
    QCOMPARE(model->materials, materials);
    QVERIFY(!model->damaged);
}

void TestModelFile::utf8Names()
{
    const QString jersey = QString::fromUtf8("Jérsey_ß");
    const QString head = QString::fromUtf8("頭_Head");
    const auto model =
        readModelFile(ModelBuilder().names({jersey, head}).materials({1, 0}).end().build());
    QVERIFY(model);
    QCOMPARE(model->nameTable, QStringList({jersey, head}));
    QCOMPARE(model->materials, QStringList({head, jersey}));
    // Pool bytes as stated: "é" is C3 A9.
    const auto raw = readModelFile(ModelBuilder()
                                       .name("x")
                                       .pool(QByteArray::fromHex("43C3A9000000"))
                                       .materials({0})
                                       .end()
                                       .build());
    QVERIFY(raw);
    QCOMPARE(raw->nameTable, QStringList({QString::fromUtf8("Cé")}));
}

void TestModelFile::hostile_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("materials");
    const QStringList parts{"Body", "Head"};
    const QByteArray head = ModelBuilder().magic("MDL!").build().left(40);

    QTest::newRow("header only") << QByteArray("MDL!") << QStringList() << QStringList();
    QTest::newRow("no name count")
        << head + ModelBuilder::le32(4) << QStringList() << QStringList();
    QTest::newRow("name offset past the end")
        << ModelBuilder().names(parts).nameOffset(1, 1000).materials({1, 0}).end().build()
        << QStringList{"Body", ""} << QStringList{"", "Body"};
    QTest::newRow("name offset 0xFFFFFFFF")
        << ModelBuilder().names(parts).nameOffset(0, 0xFFFFFFFF).materials({0, 1}).end().build()
        << QStringList{"", "Head"} << QStringList{"", "Head"};
    // The last name runs into the end of the file without its zero byte.
    QTest::newRow("no zero byte") << ModelBuilder().name("Body").pool(QByteArray("Helmet")).build()
                                  << QStringList{"Helmet"} << QStringList();
    QTest::newRow("list size past the end")
        << ModelBuilder().names(parts).materials(2, {1, 0}, 1000).build() << parts
        << QStringList{"Head", "Body"};
    QTest::newRow("list size past the end, cut inside")
        << ModelBuilder().names(parts).materials(2, {1}, 12).build() << parts
        << QStringList{"Head"};
    QTest::newRow("chunk size past the end") << ModelBuilder()
                                                    .names(parts)
                                                    .materials({0})
                                                    .chunk("XXXX", "ab", 1000)
                                                    .materials({1})
                                                    .end()
                                                    .build()
                                             << parts << QStringList{"Body"};
    // In 32-bit arithmetic these sizes would move the walk back or keep it in place.
    QTest::newRow("chunk size 0xFFFFFFF8")
        << ModelBuilder().names(parts).chunk("XXXX", {}, 0xFFFFFFF8).materials({1}).end().build()
        << parts << QStringList();
    QTest::newRow("chunk size 0xFFFFFFFF") << ModelBuilder()
                                                  .names(parts)
                                                  .materials({0})
                                                  .chunk("XXXX", {}, 0xFFFFFFFF)
                                                  .materials({1})
                                                  .end()
                                                  .build()
                                           << parts << QStringList{"Body"};
    QTest::newRow("no end chunk")
        << ModelBuilder().names(parts).materials({1}).chunk("XXXX", "abcd").build() << parts
        << QStringList{"Head"};
    QTest::newRow("cut inside a chunk head")
        << ModelBuilder().names(parts).materials({1}).raw("MBf").build() << parts
        << QStringList{"Head"};
    QTest::newRow("index not below N")
        << ModelBuilder().names(parts).materials({2, 0, 0xFFFFFFFF, 1}).end().build() << parts
        << QStringList{"Body", "Head"};
    QTest::newRow("count 0xFFFFFFFF") << ModelBuilder()
                                             .names(parts)
                                             .materials(0xFFFFFFFF, {1, 0}, 12)
                                             .materials({0})
                                             .end()
                                             .build()
                                      << parts << QStringList{"Head", "Body"};
    QTest::newRow("count 0xFFFFFFFF to the end")
        << ModelBuilder().names(parts).materials(0xFFFFFFFF, {1, 1, 0}, 0xFFFFFFFF).build() << parts
        << QStringList{"Head", "Body"};
    QTest::newRow("count larger than the chunk")
        << ModelBuilder().names(parts).materials(3, {1}, 8).materials({0}).end().build() << parts
        << QStringList{"Head", "Body"};
    QTest::newRow("list without count")
        << ModelBuilder().names(parts).chunk("MTL!").materials({0}).end().build() << parts
        << QStringList{"Body"};
    QTest::newRow("S0 0xFFFFFFFF")
        << ModelBuilder().names(parts).nameChunkSize(0xFFFFFFFF).materials({0}).end().build()
        << parts << QStringList();
    // 44 + S0 wraps to 8 in 32 bits, where the filler holds a list and an end chunk.
    const QByteArray forged = QByteArray("....MTL!") + ModelBuilder::le32(8) +
                              ModelBuilder::le32(1) + ModelBuilder::le32(1) + "MBfD" +
                              ModelBuilder::le32(0);
    QTest::newRow("S0 wrapping to the filler")
        << ModelBuilder().filler(forged).names(parts).nameChunkSize(0xFFFFFFDC).build() << parts
        << QStringList();
    QTest::newRow("S0 past the end")
        << ModelBuilder().names(parts).nameChunkSize(4000).materials({0}).end().build() << parts
        << QStringList();
    // 48 + 4 * N wraps to 48 in 32 bits: the pool would seem to start at the offsets. The
    // offset table runs on through the 42 bytes after 48 (ten whole words), and every
    // offset lands past the pool's true start, far beyond the file.
    QTest::newRow("N 0x40000000")
        << ModelBuilder().names(parts).nameCount(0x40000000).materials({0}).end().build()
        << QStringList{"", "", "", "", "", "", "", "", "", ""} << QStringList{""};
}

void TestModelFile::hostile()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, names);
    QFETCH(QStringList, materials);
    const auto model = readModelFile(data);
    QVERIFY(model);
    QCOMPARE(model->nameTable, names);
    QCOMPARE(model->materials, materials);
    QVERIFY(model->damaged);
}

void TestModelFile::hugeNameCountInSmallFile()
{
    // 60 bytes: room for three offsets, none of which reaches a pool.
    QByteArray data("MDL!");
    data += QByteArray(36, '\0');
    data += ModelBuilder::le32(16) + ModelBuilder::le32(0xFFFFFFFF);
    data += ModelBuilder::le32(0) + ModelBuilder::le32(7) + ModelBuilder::le32(0);
    QCOMPARE(data.size(), 60);
    QElapsedTimer timer;
    timer.start();
    const auto model = readModelFile(data);
    QVERIFY(timer.elapsed() < 2000);
    QVERIFY(model);
    QCOMPARE(model->nameTable, QStringList({"", "", ""}));
    QVERIFY(model->materials.isEmpty());
    QVERIFY(model->damaged);
}

void TestModelFile::everyTruncation()
{
    const QByteArray full = rigModel();
    const QStringList fullNames{"J_Hips", "Body", "Head", "Eye_L"};
    const QStringList fullMaterials{"Body", "Head", "Eye_L"};
    for (int length = 0; length < full.size(); ++length) {
        const auto model = readModelFile(full.left(length));
        if (length < 4) {
            QVERIFY(!model);
            continue;
        }
        QVERIFY2(model, qPrintable(QString::number(length)));
        QVERIFY2(model->damaged, qPrintable(QString::number(length)));
        // What is read is a part of what the whole file holds, never something else.
        QVERIFY(model->nameTable.size() <= fullNames.size());
        for (int i = 0; i < model->nameTable.size(); ++i)
            QVERIFY2(fullNames.at(i).startsWith(model->nameTable.at(i)),
                     qPrintable(QString::number(length)));
        QCOMPARE(model->materials, fullMaterials.mid(0, model->materials.size()));
        // Only the end chunk is missing: the list is complete.
        if (length >= full.size() - 8)
            QCOMPARE(model->materials, fullMaterials);
    }
}

void TestModelFile::overlappingNames()
{
    // 200 names that all end at the same zero byte: 20100 bytes of text from a pool of 201.
    ModelBuilder overlapping;
    ModelBuilder repeated;
    for (int i = 0; i < 200; ++i) {
        overlapping.name("x").nameOffset(i, quint32(i));
        repeated.name("x").nameOffset(i, 0);
    }
    const QByteArray pool = QByteArray(200, 'a') + '\0';
    const QByteArray data = overlapping.pool(pool).materials({0}).end().build();
    const auto model = readModelFile(data);
    QVERIFY(model);
    QCOMPARE(model->nameTable.size(), 200);
    QCOMPARE(model->nameTable.first(), QString(200, 'a'));
    QCOMPARE(model->nameTable.at(1), QString(199, 'a'));
    int total = 0;
    for (const QString& name : model->nameTable)
        total += name.size();
    QVERIFY(total <= data.size());
    QVERIFY(model->damaged);

    // One name used 200 times costs nothing extra.
    const auto same = readModelFile(repeated.pool(pool).materials({0}).end().build());
    QVERIFY(same);
    QCOMPARE(same->nameTable.size(), 200);
    QCOMPARE(same->nameTable.last(), QString(200, 'a'));
    QCOMPARE(same->materials, QStringList({QString(200, 'a')}));
    QVERIFY(!same->damaged);
}

void TestModelFile::shaderRules_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hasHips");
    QTest::addColumn<QString>("shader");
    QTest::newRow("default with hips") << "Jersey" << true << "yCS_gear::Normal";
    QTest::newRow("default without hips") << "Jersey" << false << "yPBR::t_BRDF";
    QTest::newRow("head") << "head" << false << "yCS_head::Normal";
    QTest::newRow("HEAD") << "HEAD" << true << "yCS_head::Normal";
    QTest::newRow("head is no prefix") << "head_2" << true << "yCS_gear::Normal";
    QTest::newRow("eye") << "eye" << false << "yCS_eye::Normal";
    QTest::newRow("eye_r") << "eye_r" << false << "yCS_eye::Normal";
    QTest::newRow("Eye_L") << "Eye_L" << false << "yCS_eye::Normal";
    QTest::newRow("eye_l") << "eye_l" << true << "yCS_eye::Normal";
    QTest::newRow("eyes") << "eyes" << true << "yCS_gear::Normal";
    QTest::newRow("eye_overlay") << "Eye_Overlay" << false << "yCS_eyeOv::Normal";
    QTest::newRow("eyelash") << "EyeLash" << false << "yCS_eyeOv::Normal";
    QTest::newRow("body") << "Body" << false << "yCS_skin::Normal";
    QTest::newRow("body is no part") << "Body_Armor" << false << "yPBR::t_BRDF";
    QTest::newRow("eye_caruncle") << "eye_caruncle" << true << "yCS_head::Caruncle";
    QTest::newRow("teeth") << "Teeth" << true << "yCS_Teeth::Normal";
    QTest::newRow("mouthbag") << "MouthBag" << true << "yCS_Teeth::Normal";
    QTest::newRow("combinations") << "Shirt_Combinations_01" << true
                                  << "yCS_hair::NewHair_ColorChanging_WDF";
    QTest::newRow("hair") << "LongHair" << false << "yCS_hair::NewHair_ColorChanging";
    QTest::newRow("hair and combinations")
        << "hair_combinations" << true << "yCS_hair::NewHair_ColorChanging";
    QTest::newRow("combinations and hair")
        << "combinations_hair" << true << "yCS_hair::NewHair_ColorChanging";
    QTest::newRow("equal name hair") << "hair" << true << "yCS_hair::NewHair_ColorChanging";
    QTest::newRow("layout_new") << "Shoe_Layout_New" << true << "yModelMovie::T_Movie_Mask";
    QTest::newRow("layout_new after hair")
        << "hair_layout_new" << true << "yModelMovie::T_Movie_Mask";
    QTest::newRow("layout new without underscore") << "layoutnew" << false << "yPBR::t_BRDF";
    QTest::newRow("titan_logo") << "Cap_Titan_Logo" << true << "yIllumination::t_IlluminationMask";
    QTest::newRow("titanlogo") << "TITANLOGO2" << false << "yIllumination::t_IlluminationMask";
    QTest::newRow("caa_ptn") << "shoe_caa_ptn" << true << "yIllumination::t_IlluminationMask";
    QTest::newRow("caa_ptn after hair")
        << "hair_caa_ptn" << true << "yIllumination::t_IlluminationMask";
    QTest::newRow("empty") << "" << true << "yCS_gear::Normal";
}

void TestModelFile::shaderRules()
{
    QFETCH(QString, name);
    QFETCH(bool, hasHips);
    QFETCH(QString, shader);
    QCOMPARE(shaderForPart(name, hasHips), shader);
}

void TestModelFile::plan()
{
    const auto rig = readModelFile(ModelBuilder()
                                       .names({"J_Hips", "Jersey:skinned", "Eye_L", "eye_l",
                                               "Head:SKINNED", "Body:skinned:skinned", "Body"})
                                       .materials({1, 2, 3, 4, 5, 6})
                                       .end()
                                       .build());
    QVERIFY(rig);
    // Duplicates go before ":skinned" does, so Body comes twice.
    const QVector<PlannedMaterial> expected{
        {"Jersey", "yCS_gear::Normal"}, {"Eye_L", "yCS_eye::Normal"},
        {"eye_l", "yCS_eye::Normal"},   {"Head:SKINNED", "yCS_gear::Normal"},
        {"Body", "yCS_skin::Normal"},   {"Body", "yCS_skin::Normal"}};
    QCOMPARE(materialPlan(*rig), expected);

    // "J_Hips" counts only with that exact case and only in the name table.
    const auto noHips = readModelFile(
        ModelBuilder().names({"j_hips", "Jersey", "J_Hips_End"}).materials({1}).end().build());
    QVERIFY(noHips);
    QCOMPARE(materialPlan(*noHips),
             QVector<PlannedMaterial>({PlannedMaterial{"Jersey", "yPBR::t_BRDF"}}));
    const auto hipsUnused =
        readModelFile(ModelBuilder().names({"Jersey", "J_Hips"}).materials({0}).end().build());
    QVERIFY(hipsUnused);
    QCOMPARE(materialPlan(*hipsUnused),
             QVector<PlannedMaterial>({PlannedMaterial{"Jersey", "yCS_gear::Normal"}}));
}

QTEST_GUILESS_MAIN(TestModelFile)
#include "tst_modelfile.moc"
