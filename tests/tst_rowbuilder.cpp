#include "authoring/rowbuilder.h"

#include <QtTest>

using authoring::buildMaterialRow;
using authoring::textureStem;

namespace {

mtls::GridRow cells(const QStringList& texts)
{
    mtls::GridRow row;
    for (const QString& text : texts)
        row << text;
    return row;
}

// The parameter cells of a row built for Car_ALPHA with an arbitrary shader.
mtls::GridRow parameterCells(const QStringList& list)
{
    const mtls::GridRow row = buildMaterialRow(0, "Car_ALPHA", "yCS_gear::Normal", list, 0);
    return row.mid(mtls::FirstParameterColumn);
}

} // namespace

class TestRowBuilder : public QObject {
    Q_OBJECT

private slots:
    void exampleRow();
    void stem_data();
    void stem();
    void shaderSplit_data();
    void shaderSplit();
    void namingRules_data();
    void namingRules();
    void chainedRules_data();
    void chainedRules();
    void bodyAlpha();
    void noParameters_data();
    void noParameters();
    void emptyStringsDropped();
};

void TestRowBuilder::exampleRow()
{
    const mtls::GridRow row = buildMaterialRow(
        12, "Car_ALPHA", "yCS_gear::Normal",
        {"colorMap", "Old_color", "g_mPixMsk", "Old_pm", "g_mPixMsk@ref", "X"}, 65535);
    QCOMPARE(row, cells({"12", "yCS_gear", "Car_ALPHA", "65535", "Normal", "colorMap", "Car_color",
                         "g_mPixMsk", "Car_pm", "g_mPixMsk@ref", "X"}));
}

void TestRowBuilder::stem_data()
{
    QTest::addColumn<QString>("modelId");
    QTest::addColumn<QString>("stem");
    QTest::newRow("alpha") << "Car_ALPHA"
                           << "Car";
    QTest::newRow("alpha with suffix") << "Car_ALPHA_2"
                                       << "Car";
    QTest::newRow("first alpha") << "Car_ALPHA_Door_ALPHA"
                                 << "Car";
    QTest::newRow("no alpha") << "Car_Door"
                              << "Car_Door";
    QTest::newRow("lower case is no marker") << "Car_alpha"
                                             << "Car_alpha";
    QTest::newRow("no underscore") << "CarALPHA"
                                   << "CarALPHA";
    QTest::newRow("alpha only") << "_ALPHA"
                                << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestRowBuilder::stem()
{
    QFETCH(QString, modelId);
    QFETCH(QString, stem);
    QCOMPARE(textureStem(modelId), stem);
}

void TestRowBuilder::shaderSplit_data()
{
    QTest::addColumn<QString>("shader");
    QTest::addColumn<QString>("mainShader");
    QTest::addColumn<QString>("variant");
    QTest::newRow("one separator") << "yCS_head::Normal"
                                   << "yCS_head"
                                   << "Normal";
    QTest::newRow("no separator") << "yPBR"
                                  << "yPBR"
                                  << "yPBR";
    QTest::newRow("two separators") << "a::b::c"
                                    << "a"
                                    << "c";
    QTest::newRow("single colon") << "yPBR:t_BRDF"
                                  << "yPBR:t_BRDF"
                                  << "yPBR:t_BRDF";
    QTest::newRow("triple colon") << "a:::b"
                                  << "a"
                                  << "b";
    QTest::newRow("leading separator") << "::Normal"
                                       << ""
                                       << "Normal";
    QTest::newRow("trailing separator") << "yCS_head::"
                                        << "yCS_head"
                                        << "";
    QTest::newRow("empty key") << ""
                               << ""
                               << "";
}

void TestRowBuilder::shaderSplit()
{
    QFETCH(QString, shader);
    QFETCH(QString, mainShader);
    QFETCH(QString, variant);
    const mtls::GridRow row = buildMaterialRow(4, "Door", shader, {"colorMap", "Old"}, 2);
    QCOMPARE(row, cells({"4", mainShader, "Door", "2", variant, "colorMap", "Door_color"}));
}

void TestRowBuilder::namingRules_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QStringList>("expected");

    // Rules 1 to 5 rename every value but their own engine default.
    const char* const defaultRules[][3] = {
        {"colorMap", "default_color", "Car_color"},
        {"g_nrmMap", "default_nrm", "Car_nrm"},
        {"normalMap", "default_normal", "Car_normal"},
        {"roughnessMap", "default_roughness", "Car_roughness"},
        {"metalMap", "default_metal", "Car_metal"},
    };
    for (const auto& rule : defaultRules) {
        const QString param = rule[0];
        const QString fallback = rule[1];
        const QString renamed = rule[2];
        QTest::addRow("%s renamed", rule[0])
            << QStringList{param, "Old", "Tail"} << QStringList{param, renamed, "Tail"};
        QTest::addRow("%s default kept", rule[0])
            << QStringList{param, fallback, "Tail"} << QStringList{param, fallback, "Tail"};
        QTest::addRow("%s other default renamed", rule[0])
            << QStringList{param, "default_other", "Tail"} << QStringList{param, renamed, "Tail"};
        QTest::addRow("%s value last", rule[0])
            << QStringList{"Head", param, "Old"} << QStringList{"Head", param, renamed};
        QTest::addRow("%s at the end", rule[0])
            << QStringList{"Head", param} << QStringList{"Head", param};
        QTest::addRow("%s case differs", rule[0])
            << QStringList{param.toUpper(), "Old"} << QStringList{param.toUpper(), "Old"};
    }

    // Rules 6 to 12 rename only when the "@ref" entry stands two places after the name.
    const char* const referenceRules[][3] = {
        {"g_mPixMsk", "g_mPixMsk@ref", "Car_pm"},
        {"g_comboMap", "g_comboMap@ref", "Car_rai"},
        {"sampIllumMap1", "sampIllumMap1@ref", "Car_emissive"},
        {"lightmap", "lightmap@ref", "Car_lightmap"},
        {"maskMap", "maskMap@ref", "Car_emissive"},
        {"coverMap", "coverMap@ref", "Car_coverMap"},
        {"flowMap", "flowMap@ref", "Car_flow"},
    };
    for (const auto& rule : referenceRules) {
        const QString param = rule[0];
        const QString ref = rule[1];
        const QString renamed = rule[2];
        QTest::addRow("%s renamed", rule[0])
            << QStringList{param, "Old", ref, "Tail"} << QStringList{param, renamed, ref, "Tail"};
        QTest::addRow("%s without ref", rule[0])
            << QStringList{param, "Old", "Tail"} << QStringList{param, "Old", "Tail"};
        QTest::addRow("%s ref one place ahead", rule[0])
            << QStringList{param, ref, "Old"} << QStringList{param, ref, "Old"};
        QTest::addRow("%s ref three places ahead", rule[0])
            << QStringList{param, "Old", "Tail", ref} << QStringList{param, "Old", "Tail", ref};
        QTest::addRow("%s other ref", rule[0]) << QStringList{param, "Old", "flowMap@refs"}
                                               << QStringList{param, "Old", "flowMap@refs"};
        QTest::addRow("%s ref last", rule[0])
            << QStringList{"Head", param, "Old", ref} << QStringList{"Head", param, renamed, ref};
        QTest::addRow("%s value at the end", rule[0])
            << QStringList{"Head", param, "Old"} << QStringList{"Head", param, "Old"};
        QTest::addRow("%s at the end", rule[0])
            << QStringList{"Head", param} << QStringList{"Head", param};
    }
}

void TestRowBuilder::namingRules()
{
    QFETCH(QStringList, list);
    QFETCH(QStringList, expected);
    QCOMPARE(parameterCells(list), cells(expected));
}

void TestRowBuilder::chainedRules_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QStringList>("expected");
    // Rule 2 tests the value that rule 1 consumed; neither raw value is written.
    QTest::newRow("color then normal") << QStringList{"colorMap", "g_nrmMap", "X"}
                                       << QStringList{"colorMap", "Car_color", "Car_nrm"};
    // Rule 1 is not tested again after rule 2 consumed its value.
    QTest::newRow("normal then color")
        << QStringList{"g_nrmMap", "colorMap", "X"} << QStringList{"g_nrmMap", "Car_nrm", "X"};
    QTest::newRow("pixel mask then mask map")
        << QStringList{"g_mPixMsk", "maskMap", "g_mPixMsk@ref", "maskMap@ref"}
        << QStringList{"g_mPixMsk", "Car_pm", "Car_emissive", "maskMap@ref"};
    // After a chain the walk goes on with the next element as a parameter name.
    QTest::newRow("chain then pair")
        << QStringList{"colorMap", "normalMap", "Old", "metalMap", "Old2"}
        << QStringList{"colorMap", "Car_color", "Car_normal", "metalMap", "Car_metal"};
    QTest::newRow("chain stops at a default")
        << QStringList{"colorMap", "g_nrmMap", "default_nrm", "Y"}
        << QStringList{"colorMap", "Car_color", "default_nrm", "Y"};
    QTest::newRow("chain stops at the end")
        << QStringList{"colorMap", "g_nrmMap"} << QStringList{"colorMap", "Car_color"};
}

void TestRowBuilder::chainedRules()
{
    QFETCH(QStringList, list);
    QFETCH(QStringList, expected);
    QCOMPARE(parameterCells(list), cells(expected));
}

void TestRowBuilder::bodyAlpha()
{
    const mtls::GridRow row = buildMaterialRow(
        1, "Body_ALPHA", "yCS_skin::Normal",
        {"colorMap", "Old", "normalMap", "default_normal", "lightmap", "Old2", "lightmap@ref"}, 3);
    QCOMPARE(row,
             cells({"1", "yCS_skin", "Body_ALPHA", "3", "Normal", "colorMap", "Body_color",
                    "normalMap", "default_normal", "lightmap", "Body_lightmap", "lightmap@ref"}));
}

void TestRowBuilder::noParameters_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::newRow("missing") << QStringList();
    QTest::newRow("only empty strings") << QStringList{"", QString(), ""};
}

void TestRowBuilder::noParameters()
{
    QFETCH(QStringList, list);
    const mtls::GridRow row = buildMaterialRow(0, "Jersey", "yPBR::t_BRDF", list, 0);
    QCOMPARE(row, cells({"0", "yPBR", "Jersey", "0", "t_BRDF"}));
}

void TestRowBuilder::emptyStringsDropped()
{
    // Dropped before the rules look ahead: the "@ref" counts two places after the name
    // only once the gaps are gone.
    const mtls::GridRow row = parameterCells(
        {"", "g_comboMap", "", "Old", "", "g_comboMap@ref", "", "colorMap", "", "Old2", ""});
    QCOMPARE(row, cells({"g_comboMap", "Car_rai", "g_comboMap@ref", "colorMap", "Car_color"}));
}

QTEST_GUILESS_MAIN(TestRowBuilder)
#include "tst_rowbuilder.moc"
