#include "authoring/rowbuilder.h"

#include <QtTest>

using authoring::buildMaterialRow;
using authoring::textureStem;

namespace {

// Lists are written as words split at single spaces, so "a  b" holds an empty string between.
QStringList words(const QString& text)
{
    return text.isEmpty() ? QStringList() : text.split(' ');
}

mtls::GridRow cells(const QStringList& texts)
{
    mtls::GridRow row;
    for (const QString& text : texts)
        row << text;
    return row;
}

} // namespace

class TestRowBuilder : public QObject {
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void stem();
    void namingRules_data();
    void namingRules();
};

void TestRowBuilder::rows_data()
{
    QTest::addColumn<QString>("nameAndShader");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Car_ALPHA") << QString("Car_ALPHA yCS_gear::Normal")
                               << QString("colorMap Old_color g_mPixMsk Old_pm g_mPixMsk@ref X")
                               << QString("12 yCS_gear Car_ALPHA 65535 Normal colorMap Car_color "
                                          "g_mPixMsk Car_pm g_mPixMsk@ref X");
    QTest::newRow("Body_ALPHA") << QString("Body_ALPHA yCS_skin::Normal")
                                << QString("normalMap default_normal lightmap Old lightmap@ref")
                                << QString("12 yCS_skin Body_ALPHA 65535 Normal normalMap "
                                           "default_normal lightmap Body_lightmap lightmap@ref");
    QTest::newRow("no separator, no list")
        << QString("Door yPBR") << QString() << QString("12 yPBR Door 65535 yPBR");
    QTest::newRow("two separators, only empty strings")
        << QString("Door a::b::c") << QString("  ") << QString("12 a Door 65535 c");
    // Dropped before the rules look ahead: the "@ref" counts two places on once the gaps go.
    QTest::newRow("empty strings dropped")
        << QString("Car s::v") << QString(" g_comboMap  Old  g_comboMap@ref ")
        << QString("12 s Car 65535 v g_comboMap Car_rai g_comboMap@ref");
}

void TestRowBuilder::rows()
{
    QFETCH(QString, nameAndShader);
    QFETCH(QString, list);
    QFETCH(QString, expected);
    const QStringList input = words(nameAndShader);
    QCOMPARE(buildMaterialRow(12, input[0], input[1], words(list), 65535), cells(words(expected)));
}

void TestRowBuilder::stem()
{
    QCOMPARE(textureStem("Car_ALPHA_2"), QString("Car"));
    QCOMPARE(textureStem("Car_ALPHA_Door_ALPHA"), QString("Car"));
    QCOMPARE(textureStem("Car_alpha"), QString("Car_alpha"));
    QCOMPARE(textureStem("_ALPHA"), QString());
}

void TestRowBuilder::namingRules_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QStringList>("expected");

    // Parameter name, engine default (rules 1 to 5) or reference entry (rules 6 to 12), and
    // the new name. Rules 6 to 12 need their reference two places on.
    const char* const rules[] = {
        "colorMap default_color Car_color",    "g_nrmMap default_nrm Car_nrm",
        "normalMap default_normal Car_normal", "roughnessMap default_roughness Car_roughness",
        "metalMap default_metal Car_metal",    "g_mPixMsk g_mPixMsk@ref Car_pm",
        "g_comboMap g_comboMap@ref Car_rai",   "sampIllumMap1 sampIllumMap1@ref Car_emissive",
        "lightmap lightmap@ref Car_lightmap",  "maskMap maskMap@ref Car_emissive",
        "coverMap coverMap@ref Car_coverMap",  "flowMap flowMap@ref Car_flow"};
    for (int k = 0; k < 12; ++k) {
        const QStringList rule = words(rules[k]);
        const bool looksTwoAhead = k >= 5;
        const QString after = looksTwoAhead ? rule[1] : "Tail";
        QTest::addRow("rule %d renames", k + 1) << QStringList{"Head", rule[0], "Old", after}
                                                << QStringList{"Head", rule[0], rule[2], after};
        const QStringList kept{rule[0], looksTwoAhead ? "Old" : rule[1], "Tail"};
        QTest::addRow("rule %d keeps", k + 1) << kept << kept;
        // Nothing is read past the end of the list.
        QTest::addRow("rule %d near the end", k + 1)
            << QStringList{"Head", rule[0], "Old"}
            << QStringList{"Head", rule[0], looksTwoAhead ? "Old" : rule[2]};
        QTest::addRow("rule %d at the end", k + 1) << QStringList{rule[0]} << QStringList{rule[0]};
    }

    // A rule tests the value that the rule before consumed; neither raw value is written.
    QTest::newRow("color then normal")
        << words("colorMap g_nrmMap X") << words("colorMap Car_color Car_nrm");
    // An earlier rule is not tested again after a later one consumed its value.
    QTest::newRow("normal then color")
        << words("g_nrmMap colorMap X") << words("g_nrmMap Car_nrm X");
    QTest::newRow("pixel mask then mask map, then a pair")
        << words("g_mPixMsk maskMap g_mPixMsk@ref maskMap@ref metalMap Old")
        << words("g_mPixMsk Car_pm Car_emissive maskMap@ref metalMap Car_metal");
}

void TestRowBuilder::namingRules()
{
    QFETCH(QStringList, list);
    QFETCH(QStringList, expected);
    const mtls::GridRow row = buildMaterialRow(0, "Car_ALPHA", "s::v", list, 0);
    QCOMPARE(row.mid(mtls::FirstParameterColumn), cells(expected));
}

QTEST_GUILESS_MAIN(TestRowBuilder)
#include "tst_rowbuilder.moc"
