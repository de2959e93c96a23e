#include "tools/demofiles.h"

#include "mtls/block.h"
#include "support/core/blockbuilder.h"
#include "support/core/modelbuilder.h"

#include <QDir>
#include <QSaveFile>
#include <QVector>

namespace demo {

namespace {

// One item of a demo material, written the way a modder reads it.
struct Param {
    QString name;     // empty for a global shader flag item
    quint16 type = 0; // 1 to 5; for a flag item the second word (0 or 0x3F80)
    QString texture;  // type 4: the texture the entry names
    quint16 a = 0;    // types 1 and 3; a is 0 so that no value cell could pass for a name
    quint16 b = 0;
    bool isFlag() const { return name.isEmpty(); }
};

Param texture(const QString& name, const QString& textureName)
{
    return {name, 4, textureName};
}
Param hash(const QString& name)
{
    return {name, 5, QString()};
}
Param numbers(const QString& name, quint16 type, quint16 b)
{
    return {name, type, QString(), 0, b};
}
Param pair(const QString& name)
{
    return {name, 2, QString()};
}
Param shaderFlag(quint16 second)
{
    return {QString(), second, QString()};
}

struct DemoMaterial {
    QString name;
    QString mainShader;
    QString variant;
    std::array<quint16, 4> flags;
    QVector<Param> params;
};

// The reference entry "<map>@ref" of g_mPixMsk and flowMap is a hash of the texture before
// it, so adding a material renames that texture too. Each material leaves one engine
// default in place ("default_..."), which adding a material keeps.
QVector<DemoMaterial> materials()
{
    const std::array<quint16, 4> gearFlags{1, 0, 3, 16};
    return {
        {"hero_jersey",
         "yCS_gear",
         "Normal",
         gearFlags,
         {texture("colorMap", "hero_jersey_color"), shaderFlag(mtls::GlobalFlagType),
          texture("g_nrmMap", "hero_jersey_nrm"), texture("roughnessMap", "default_roughness"),
          texture("g_mPixMsk", "hero_jersey_pm"), hash("g_mPixMsk@ref"), pair("g_tint"),
          numbers("g_uvScale", 1, 2), numbers("g_blendMode", 3, 1)}},
        {"hero_shorts",
         "yCS_gear",
         "Normal",
         gearFlags,
         {texture("colorMap", "hero_shorts_color"), shaderFlag(mtls::GlobalFlagType),
          texture("g_nrmMap", "hero_shorts_nrm"), texture("roughnessMap", "default_roughness"),
          texture("g_mPixMsk", "hero_shorts_pm"), hash("g_mPixMsk@ref"), pair("g_tint"),
          numbers("g_uvScale", 1, 2), numbers("g_blendMode", 3, 1)}},
        {"hero_head",
         "yCS_head",
         "Normal",
         {1, 0, 5, 16},
         {texture("colorMap", "hero_head_color"), texture("normalMap", "hero_head_normal"),
          texture("roughnessMap", "default_roughness"), texture("g_mPixMsk", "hero_head_pm"),
          hash("g_mPixMsk@ref"), numbers("g_sssScale", 1, 3)}},
        {"hero_eye",
         "yCS_eye",
         "Normal",
         {1, 2, 5, 8},
         {texture("colorMap", "hero_eye_color"), texture("normalMap", "default_normal"),
          numbers("g_irisScale", 3, 2)}},
        {"hero_body",
         "yCS_skin",
         "Normal",
         {1, 0, 7, 16},
         {texture("colorMap", "hero_body_color"), texture("normalMap", "hero_body_normal"),
          texture("metalMap", "default_metal"), texture("roughnessMap", "hero_body_roughness"),
          numbers("g_sssScale", 1, 3), pair("g_tint")}},
        {"hero_hair",
         "yCS_hair",
         "NewHair_ColorChanging",
         {3, 0, 9, 24},
         {texture("colorMap", "hero_hair_color"), texture("g_nrmMap", "default_nrm"), shaderFlag(0),
          texture("flowMap", "hero_hair_flow"), hash("flowMap@ref"), pair("g_hairTint")}},
    };
}

// Strings in the order they are first met, as a game's exporter lays them out.
class Strings {
public:
    quint16 offsetOf(const QString& text)
    {
        const int index = texts.indexOf(text);
        if (index >= 0)
            return offsets.at(index);
        texts.append(text);
        offsets.append(quint16(size));
        size += text.toUtf8().size() + 1;
        return offsets.last();
    }
    QStringList texts;

private:
    QVector<quint16> offsets;
    int size = 0;
};

quint64 textureHash(const QString& textureName)
{
    const QString path = QLatin1String(TextureDirectory) + textureName + QStringLiteral(".tex");
    return mtls::fnv1a_64(path.toLower().toUtf8());
}

mtls::Item itemOf(const Param& param, Strings& strings, QString& currentTexture)
{
    mtls::Item item;
    if (param.isFlag()) {
        item.kind = mtls::Item::GlobalFlag;
        item.type = param.type;
        return item;
    }
    item.name = strings.offsetOf(param.name);
    item.type = param.type;
    switch (param.type) {
    case 4:
        item.first = strings.offsetOf(param.texture);
        currentTexture = param.texture;
        break;
    case 5:
        item.first = textureHash(currentTexture);
        break;
    case 1:
    case 3:
        item.first = param.a;
        item.second = param.b;
        break;
    default: // type 2 carries two zero words, as our writer stores them
        break;
    }
    return item;
}

bool writeWhole(const QString& path, const QByteArray& bytes, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

QByteArray libraryBytes()
{
    Strings strings;
    QVector<mtls::Material> records;
    for (const DemoMaterial& material : materials()) {
        mtls::Material record;
        record.modelId = strings.offsetOf(material.name);
        record.mainShader = strings.offsetOf(material.mainShader);
        record.variant = strings.offsetOf(material.variant);
        record.flags = material.flags;
        QString currentTexture;
        for (const Param& param : material.params) {
            record.items.append(itemOf(param, strings, currentTexture));
            if (!param.isFlag())
                ++record.paramCount;
        }
        records.append(record);
    }
    return mtls::encode(strings.texts, records);
}

QByteArray modelBytes()
{
    // Bones first, then the parts; "J_Hips" tells the import that this is a character, so
    // parts without a rule of their own (Jersey, Shorts) get the gear shader.
    const QStringList names{"J_Hips",  "J_Spine",        "J_Neck",        "J_Head",
                            "head",    "Eye_L",          "eye_r",         "body",
                            "hair_01", "Jersey:skinned", "Shorts:skinned"};
    QByteArray bones;
    for (quint32 index : {0u, 1u, 2u, 3u})
        bones += testdata::le32(index);
    return testsupport::ModelBuilder()
        .filler(QByteArray(36, '\0')) // header fields the import does not read
        .names(names)
        .materials({4, 5, 6, 7})
        .chunk(QByteArrayLiteral("SKL!"), bones) // a chunk the import steps over
        .materials({8, 9, 10, 4})                // head again: added once
        .end()
        .build();
}

QString writeDemoFiles(const QString& folder)
{
    QDir dir(folder);
    if (!dir.mkpath(QLatin1String(SaveFolder)))
        return QStringLiteral("cannot create %1").arg(dir.filePath(QLatin1String(SaveFolder)));
    QString error;
    if (!writeWhole(dir.filePath(QLatin1String(LibraryFileName)), libraryBytes(), error) ||
        !writeWhole(dir.filePath(QLatin1String(ModelFileName)), modelBytes(), error))
        return error;
    return QString();
}

} // namespace demo
