#include "authoring/rowbuilder.h"

namespace authoring {

namespace {

const QString AlphaMarker = QStringLiteral("_ALPHA");

// How a texture parameter names its value. Rules with a default leave that engine texture
// in place; rules with a reference rename the value only when "<name>@ref" stands two
// places after the parameter name.
struct TextureRule {
    const char* parameter;
    const char* defaultTexture; // nullptr for reference rules
    const char* suffix;
};

// Tested in this order; the order matters because one rule can consume the value that the
// next rule then looks at.
const TextureRule TextureRules[] = {
    {"colorMap", "default_color", "_color"},
    {"g_nrmMap", "default_nrm", "_nrm"},
    {"normalMap", "default_normal", "_normal"},
    {"roughnessMap", "default_roughness", "_roughness"},
    {"metalMap", "default_metal", "_metal"},
    {"g_mPixMsk", nullptr, "_pm"},
    {"g_comboMap", nullptr, "_rai"},
    {"sampIllumMap1", nullptr, "_emissive"},
    {"lightmap", nullptr, "_lightmap"},
    {"maskMap", nullptr, "_emissive"},
    {"coverMap", nullptr, "_coverMap"},
    {"flowMap", nullptr, "_flow"},
};

// A rule whose condition would look past the end of the list does not apply.
bool ruleApplies(const TextureRule& rule, const QStringList& list, int i)
{
    if (list.at(i) != QLatin1String(rule.parameter))
        return false;
    if (rule.defaultTexture)
        return i + 1 < list.size() && list.at(i + 1) != QLatin1String(rule.defaultTexture);
    return i + 2 < list.size() &&
           list.at(i + 2) == QLatin1String(rule.parameter) + QLatin1String("@ref");
}

QString mainShaderOf(const QString& shader)
{
    const int first = shader.indexOf(QLatin1String("::"));
    return first < 0 ? shader : shader.left(first);
}

QString variantOf(const QString& shader)
{
    const int last = shader.lastIndexOf(QLatin1String("::"));
    return last < 0 ? shader : shader.mid(last + 2);
}

} // namespace

QString textureStem(const QString& modelId)
{
    const int alpha = modelId.indexOf(AlphaMarker);
    return alpha < 0 ? modelId : modelId.left(alpha);
}

mtls::GridRow buildMaterialRow(int rowNumber, const QString& modelId, const QString& shader,
                               const QStringList& cells, quint16 paramCount)
{
    QStringList list = cells;
    list.removeAll(QString());

    mtls::GridRow row;
    row.reserve(mtls::FirstParameterColumn + list.size());
    row << QString::number(rowNumber) << mainShaderOf(shader) << modelId
        << QString::number(paramCount) << variantOf(shader);
    row.resize(mtls::FirstParameterColumn + list.size());

    const QString stem = textureStem(modelId);
    for (int i = 0; i < list.size(); ++i) {
        row[mtls::FirstParameterColumn + i] = list.at(i);
        // Each rule that fires takes the next element as its value, so the following rule
        // looks at that value in turn; the replaced raw value is never written.
        for (const TextureRule& rule : TextureRules) {
            if (!ruleApplies(rule, list, i))
                continue;
            row[mtls::FirstParameterColumn + i + 1] = stem + QLatin1String(rule.suffix);
            ++i;
        }
    }
    return row;
}

} // namespace authoring
