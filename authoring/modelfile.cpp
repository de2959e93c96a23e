#include "authoring/modelfile.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QtEndian>
#include <cstring>
#include <limits>

namespace authoring {

namespace {

constexpr qint64 NameChunkSizeOffset = 40; // S0
constexpr qint64 NameCountOffset = 44;     // N; the name chunk's data starts here
constexpr qint64 NameOffsetsOffset = 48;
constexpr qint64 ChunkHeadSize = 8; // tag and size
constexpr qint64 MaxNameBytes = qint64(1) << 28;

// Reads a model file that may have been cut short or forged. Every position is 64-bit so
// that no count or size from the file can wrap it, and every loop is bounded by the bytes
// that are really there.
class ModelReader {
public:
    ModelReader(const char* data, qint64 size) : bytes(data), size(size), nameBudget(size) {}

    ModelFile read()
    {
        ModelFile model;
        const std::optional<quint32> nameChunkSize = word(NameChunkSizeOffset);
        const std::optional<quint32> nameCount = word(NameCountOffset);
        if (!nameChunkSize || !nameCount) {
            damaged = true;
        } else {
            model.nameTable = readNames(*nameCount);
            model.materials = walkChunks(NameCountOffset + *nameChunkSize, model.nameTable);
        }
        model.damaged = damaged;
        return model;
    }

private:
    std::optional<quint32> word(qint64 pos) const
    {
        if (pos < 0 || pos + 4 > size)
            return std::nullopt;
        return qFromLittleEndian<quint32>(bytes + pos);
    }

    QStringList readNames(quint32 count)
    {
        const qint64 poolStart = NameOffsetsOffset + 4 * qint64(count);
        QStringList names;
        for (qint64 i = 0; i < count; ++i) {
            const std::optional<quint32> offset = word(NameOffsetsOffset + 4 * i);
            if (!offset) { // the offset table runs past the end: no more names to read
                damaged = true;
                break;
            }
            names << nameAt(poolStart + *offset);
        }
        return names;
    }

    // Names are cached by position, so offsets that repeat share one string. Distinct
    // names may overlap in the pool; the budget keeps their total at most the file size.
    QString nameAt(qint64 pos)
    {
        const auto cached = nameCache.constFind(pos);
        if (cached != nameCache.constEnd())
            return *cached;
        QString name;
        if (pos >= size) {
            damaged = true;
        } else {
            const qint64 available = size - pos;
            const qint64 searched = qMin(available, nameBudget + 1);
            const void* zero = std::memchr(bytes + pos, 0, size_t(searched));
            qint64 length;
            if (zero) {
                length = static_cast<const char*>(zero) - (bytes + pos);
            } else {
                damaged = true;
                length = qMin(available, nameBudget);
            }
            // No string holds more; a name that long is damage, not a part name.
            if (length > MaxNameBytes) {
                damaged = true;
                length = MaxNameBytes;
            }
            nameBudget -= length;
            name = QString::fromUtf8(bytes + pos, int(length));
        }
        nameCache.insert(pos, name);
        return name;
    }

    QStringList walkChunks(qint64 pos, const QStringList& names)
    {
        QStringList materials;
        QSet<QString> seen;
        for (;;) {
            const std::optional<quint32> tag = word(pos);
            const std::optional<quint32> chunkSize = word(pos + 4);
            if (!tag || !chunkSize) { // ended without "MBfD"
                damaged = true;
                break;
            }
            if (*tag == EndTag)
                break;
            const qint64 next = pos + ChunkHeadSize + *chunkSize;
            if (*tag == MaterialTag)
                collectMaterials(pos + ChunkHeadSize, qMin(next, size), names, materials, seen);
            pos = next; // a chunk that runs past the end leaves no head to read: damage
        }
        return materials;
    }

    // Count and indices of one "MTL!" chunk whose data lies in [begin, end).
    void collectMaterials(qint64 begin, qint64 end, const QStringList& names,
                          QStringList& materials, QSet<QString>& seen)
    {
        const std::optional<quint32> count = begin + 4 <= end ? word(begin) : std::nullopt;
        if (!count) {
            damaged = true;
            return;
        }
        const qint64 available = (end - begin - 4) / 4;
        if (*count > available)
            damaged = true;
        const qint64 readable = qMin<qint64>(*count, available);
        for (qint64 k = 0; k < readable; ++k) {
            const quint32 index = *word(begin + 4 + 4 * k);
            if (index >= quint32(names.size())) { // past the table, or past what was left of it
                damaged = true;
                continue;
            }
            const QString& name = names.at(int(index));
            if (!seen.contains(name)) {
                seen.insert(name);
                materials << name;
            }
        }
    }

    const char* bytes;
    qint64 size;
    qint64 nameBudget;
    bool damaged = false;
    QHash<qint64, QString> nameCache;
};

} // namespace

bool startsAsModel(const char* data, qint64 size)
{
    return size >= 4 && qFromBigEndian<quint32>(data) == ModelMagic;
}

std::optional<ModelFile> readModelFile(const char* data, qint64 size)
{
    if (!startsAsModel(data, size))
        return std::nullopt;
    return ModelReader(data, size).read();
}

std::optional<ModelFile> readModelFile(const QByteArray& data)
{
    return readModelFile(data.constData(), data.size());
}

ModelFileRead readModelFileAt(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt,
                mtls::refusal(mtls::Refusal::Io,
                              QStringLiteral("Cannot open file : ") + file.errorString())};
    const qint64 size = file.size();
    // Mapped, the reader touches only the pages of the names and chunk heads it follows.
    if (size > 0)
        if (const uchar* mapped = file.map(0, size))
            return {readModelFile(reinterpret_cast<const char*>(mapped), size), {}};
    // A pipe, or a file that cannot be mapped, is read to its end, as far as one buffer reaches.
    const QByteArray data = file.read(std::numeric_limits<int>::max() - 64);
    if (file.error() != QFileDevice::NoError)
        return {std::nullopt,
                mtls::refusal(mtls::Refusal::Io,
                              QStringLiteral("Cannot read file : ") + file.errorString())};
    return {readModelFile(data), {}};
}

QString shaderForPart(const QString& materialName, bool hasHips)
{
    struct PartRule {
        bool contains; // false: the whole name must equal `text`
        const char* text;
        const char* shader;
    };
    // Every matching rule assigns, so a later match wins.
    static const PartRule rules[] = {
        {false, "head", "yCS_head::Normal"},
        {false, "eye", "yCS_eye::Normal"},
        {false, "eye_r", "yCS_eye::Normal"},
        {false, "eye_l", "yCS_eye::Normal"},
        {false, "eye_overlay", "yCS_eyeOv::Normal"},
        {false, "eyelash", "yCS_eyeOv::Normal"},
        {false, "body", "yCS_skin::Normal"},
        {false, "eye_caruncle", "yCS_head::Caruncle"},
        {false, "teeth", "yCS_Teeth::Normal"},
        {false, "mouthbag", "yCS_Teeth::Normal"},
        {true, "combinations", "yCS_hair::NewHair_ColorChanging_WDF"},
        {true, "hair", "yCS_hair::NewHair_ColorChanging"},
        {true, "layout_new", "yModelMovie::T_Movie_Mask"},
        {true, "titanlogo", "yIllumination::t_IlluminationMask"},
        {true, "titan_logo", "yIllumination::t_IlluminationMask"},
        {true, "caa_ptn", "yIllumination::t_IlluminationMask"},
    };
    const QString lower = materialName.toLower();
    QString shader = hasHips ? QStringLiteral("yCS_gear::Normal") : QStringLiteral("yPBR::t_BRDF");
    for (const PartRule& rule : rules) {
        const QLatin1String text(rule.text);
        if (rule.contains ? lower.contains(text) : lower == text)
            shader = QLatin1String(rule.shader);
    }
    return shader;
}

QVector<PlannedMaterial> materialPlan(const ModelFile& model)
{
    const bool hasHips = model.nameTable.contains(QStringLiteral("J_Hips"));
    QVector<PlannedMaterial> plan;
    plan.reserve(model.materials.size());
    for (QString name : model.materials) {
        name.remove(QStringLiteral(":skinned"));
        plan.append({name, shaderForPart(name, hasHips)});
    }
    return plan;
}

} // namespace authoring
