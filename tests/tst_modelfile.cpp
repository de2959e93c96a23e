#include "authoring/modelfile.h"
#include "support/core/modelbuilder.h"

#include <QtTest>

using authoring::materialPlan;
using authoring::PlannedMaterial;
using authoring::readModelFile;
using authoring::shaderForPart;
using testsupport::ModelBuilder;

namespace {

QByteArray le32(quint32 value)
{
    return ModelBuilder::le32(value);
}

ModelBuilder model(const QStringList& names = {"Body", "Head"})
{
    return ModelBuilder().names(names);
}

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
    void reads_data();
    void reads();
    void everyTruncation();
    void overlappingNames();
    void shaderRules_data();
    void shaderRules();
    void plan();
};

void TestModelFile::builderLayout()
{
    // The builder itself must match the layout the reader expects.
    QCOMPARE(ModelBuilder().name("Ab").materials({0}).end().build(),
             "MDL!" + QByteArray(36, char(0xEE)) + le32(11) + le32(1) + le32(0) +
                 QByteArray("Ab\0", 3) + "MTL!" + le32(8) + le32(1) + le32(0) + "MBfD" + le32(0));
}

void TestModelFile::reads_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("materials");
    QTest::addColumn<bool>("damaged");
    const QStringList parts{"Body", "Head", "Hair", "Teeth"};
    const QStringList two{"Body", "Head"};

    QTest::newRow("rig") << rigModel() << QStringList{"J_Hips", "Body", "Head", "Eye_L"}
                         << QStringList{"Body", "Head", "Eye_L"} << false;
    // A material keeps the place where it was first met.
    QTest::newRow("same material twice")
        << model(parts).materials({2, 0, 2}).materials({1, 0, 2, 3}).end().build() << parts
        << QStringList{"Hair", "Body", "Head", "Teeth"} << false;
    QTest::newRow("same text twice in the table, UTF-8")
        << model({"Köpf", "Body", "Köpf"}).materials({2, 1, 0}).end().build()
        << QStringList{"Köpf", "Body", "Köpf"} << QStringList{"Köpf", "Body"} << false;
    // Data of other chunks that looks like a list is not read.
    QTest::newRow("other chunks skipped")
        << model().chunk("MTLs", le32(1) + le32(0)).materials({1}).end().build() << two
        << QStringList{"Head"} << false;
    QTest::newRow("the end chunk stops the walk")
        << model().materials({0}).end().materials({1}).build() << two << QStringList{"Body"}
        << false;
    // S0 decides where the chunks begin, not the end of the pool.
    QTest::newRow("chunks after a gap")
        << model().nameChunkSize(22 + 8).raw("MTL!" + le32(0)).materials({1}).end().build() << two
        << QStringList{"Head"} << false;

    QTest::newRow("name offset past the end")
        << model().nameOffset(1, 1000).materials({1, 0}).end().build() << QStringList{"Body", ""}
        << QStringList{"", "Body"} << true;
    QTest::newRow("no zero byte") << ModelBuilder().name("Body").pool("Helmet").build()
                                  << QStringList{"Helmet"} << QStringList() << true;
    QTest::newRow("list size past the end")
        << model().materials(2, {1, 0}, 1000).build() << two << QStringList{"Head", "Body"} << true;
    QTest::newRow("chunk size past the end")
        << model().materials({0}).chunk("XXXX", "ab", 1000).materials({1}).build() << two
        << QStringList{"Body"} << true;
    // In 32-bit arithmetic this size would keep the walk in place.
    QTest::newRow("chunk size 0xFFFFFFF8")
        << model().chunk("XXXX", {}, 0xFFFFFFF8).materials({1}).end().build() << two
        << QStringList() << true;
    QTest::newRow("no end chunk") << model().materials({1}).build() << two << QStringList{"Head"}
                                  << true;
    QTest::newRow("index not below N") << model().materials({2, 0, 0xFFFFFFFF, 1}).end().build()
                                       << two << QStringList{"Body", "Head"} << true;
    QTest::newRow("count 0xFFFFFFFF")
        << model().materials(0xFFFFFFFF, {1, 0}, 12).materials({0}).end().build() << two
        << QStringList{"Head", "Body"} << true;
    // 44 + S0 wraps to 8 in 32 bits, where the filler holds a list and an end chunk.
    const QByteArray forged = "....MTL!" + le32(8) + le32(1) + le32(1) + "MBfD" + le32(0);
    QTest::newRow("S0 wrapping to the filler")
        << model().filler(forged).nameChunkSize(0xFFFFFFDC).build() << two << QStringList() << true;
    // 48 + 4 * N wraps to 48 in 32 bits. The offset table runs on through the ten whole words
    // after 48, and every offset lands past the pool's true start, far beyond the file.
    QTest::newRow("N 0x40000000") << model().nameCount(0x40000000).materials({0}).end().build()
                                  << QStringList(QVector<QString>(10).toList()) << QStringList{""}
                                  << true;
    // 60 bytes: room for three offsets, none of which reaches a pool.
    QTest::newRow("N 0xFFFFFFFF") << "MDL!" + QByteArray(36, '\0') + le32(16) + le32(0xFFFFFFFF) +
                                         le32(0) + le32(7) + le32(0)
                                  << QStringList{"", "", ""} << QStringList() << true;
}

void TestModelFile::reads()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, names);
    QFETCH(QStringList, materials);
    QFETCH(bool, damaged);
    const auto model = readModelFile(data);
    QVERIFY(model);
    QCOMPARE(model->nameTable, names);
    QCOMPARE(model->materials, materials);
    QCOMPARE(model->damaged, damaged);
}

void TestModelFile::everyTruncation()
{
    QVERIFY(!readModelFile(ModelBuilder().magic("MTLs").name("A").end().build()));
    const QByteArray full = rigModel();
    const QStringList fullNames{"J_Hips", "Body", "Head", "Eye_L"};
    const QStringList fullMaterials{"Body", "Head", "Eye_L"};
    for (int length = 0; length < full.size(); ++length) {
        const QByteArray at = QByteArray::number(length);
        const auto model = readModelFile(full.left(length));
        QCOMPARE(bool(model), length >= 4);
        if (!model)
            continue;
        QVERIFY2(model->damaged, at);
        // What is read is a part of what the whole file holds, never something else.
        QVERIFY2(model->nameTable.size() <= fullNames.size(), at);
        for (int i = 0; i < model->nameTable.size(); ++i)
            QVERIFY2(fullNames.at(i).startsWith(model->nameTable.at(i)), at);
        // Only the end chunk missing: the list is complete.
        QCOMPARE(model->materials,
                 length >= full.size() - 8
                     ? fullMaterials
                     : QStringList(fullMaterials.mid(0, model->materials.size())));
    }
}

void TestModelFile::overlappingNames()
{
    // 200 names that all end at the same zero byte: 20100 characters from a pool of 201 bytes.
    ModelBuilder overlapping;
    for (int i = 0; i < 200; ++i)
        overlapping.name("x").nameOffset(i, quint32(i));
    const QByteArray data =
        overlapping.pool(QByteArray(200, 'a') + '\0').materials({0}).end().build();
    const auto model = readModelFile(data);
    QVERIFY(model);
    QCOMPARE(model->nameTable.size(), 200);
    QCOMPARE(model->nameTable.at(1), QString(199, 'a'));
    QVERIFY(model->nameTable.join(QString()).size() <= data.size());
    QVERIFY(model->damaged);
}

void TestModelFile::shaderRules_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("hasHips");
    QTest::addColumn<QString>("shader");
    QTest::newRow("HEAD") << "HEAD" << false << "yCS_head::Normal";
    QTest::newRow("head is no prefix") << "head_2" << true << "yCS_gear::Normal";
    QTest::newRow("eye") << "eye" << false << "yCS_eye::Normal";
    QTest::newRow("eye_r") << "eye_r" << false << "yCS_eye::Normal";
    QTest::newRow("Eye_L") << "Eye_L" << true << "yCS_eye::Normal";
    QTest::newRow("eye_overlay") << "Eye_Overlay" << false << "yCS_eyeOv::Normal";
    QTest::newRow("eyelash") << "EyeLash" << false << "yCS_eyeOv::Normal";
    QTest::newRow("body") << "Body" << false << "yCS_skin::Normal";
    QTest::newRow("body is no part") << "Body_Armor" << false << "yPBR::t_BRDF";
    QTest::newRow("eye_caruncle") << "eye_caruncle" << true << "yCS_head::Caruncle";
    QTest::newRow("teeth") << "Teeth" << true << "yCS_Teeth::Normal";
    QTest::newRow("mouthbag") << "MouthBag" << true << "yCS_Teeth::Normal";
    QTest::newRow("combinations") << "Shirt_Combinations_01" << true
                                  << "yCS_hair::NewHair_ColorChanging_WDF";
    QTest::newRow("hair wins over combinations")
        << "combinations_hair" << true << "yCS_hair::NewHair_ColorChanging";
    QTest::newRow("layout_new wins over hair")
        << "hair_layout_new" << true << "yModelMovie::T_Movie_Mask";
    QTest::newRow("layoutnew") << "layoutnew" << false << "yPBR::t_BRDF";
    QTest::newRow("titan_logo") << "Cap_Titan_Logo" << true << "yIllumination::t_IlluminationMask";
    QTest::newRow("titanlogo") << "TITANLOGO2" << false << "yIllumination::t_IlluminationMask";
    QTest::newRow("caa_ptn") << "hair_caa_ptn" << true << "yIllumination::t_IlluminationMask";
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
    // Duplicates go before ":skinned" does, so Body comes twice.
    const auto rig = readModelFile(
        model({"J_Hips", "Jersey:skinned", "Head:SKINNED", "Body:skinned:skinned", "Body"})
            .materials({1, 2, 3, 4})
            .end()
            .build());
    QVERIFY(rig);
    QCOMPARE(materialPlan(*rig), (QVector<PlannedMaterial>{{"Jersey", "yCS_gear::Normal"},
                                                           {"Head:SKINNED", "yCS_gear::Normal"},
                                                           {"Body", "yCS_skin::Normal"},
                                                           {"Body", "yCS_skin::Normal"}}));
    // "J_Hips" counts only whole and with that case.
    const auto noHips =
        readModelFile(model({"j_hips", "Jersey", "J_Hips_End"}).materials({1}).end().build());
    QVERIFY(noHips);
    QCOMPARE(materialPlan(*noHips), QVector<PlannedMaterial>({{"Jersey", "yPBR::t_BRDF"}}));
}

QTEST_GUILESS_MAIN(TestModelFile)
#include "tst_modelfile.moc"
