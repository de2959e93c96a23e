#include "mtls/blockcheck.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <limits>
#include <set>
#include <vector>

namespace mtls {

namespace {

// Byte positions of the reference fields inside a record head and an item.
constexpr int ModelIdField = 0;
constexpr int MainShaderField = 2;
constexpr int VariantField = 6;
constexpr int ItemNameField = 0;
constexpr int ItemTypeField = 2;
constexpr int ItemValueField = 4;

// Offsets where a dictionary string starts. References are 16-bit, so only the first 64 KiB
// of the dictionary can be named: one bit per offset there.
class Starts {
public:
    void add(quint32 offset)
    {
        if (offset < Size)
            bits[offset] = true;
    }
    bool contains(quint16 offset) const { return bits[offset]; }

private:
    static constexpr quint32 Size = 65536;
    std::vector<bool> bits = std::vector<bool>(Size);
};

// Checks every reference as the walk meets it, and hands each finding on in offset order,
// the walk's own findings merged in.
class ReferenceCheck : public BlockVisitor {
public:
    ReferenceCheck(const QByteArray& data, const Block& block,
                   const std::function<void(const Finding&)>& report)
        : data(data), block(block), report(report)
    {
    }

    void string(const char* text, qint64 length, quint32 offset) override
    {
        starts.add(offset);
        // Names a save cannot write back; only the first 64 KiB can be named at all.
        if (offset > 0xFFFF)
            return;
        static const char* const parts[] = {"Global", "/", "\\"};
        const QByteArray bytes = QByteArray::fromRawData(text, int(length));
        for (const char* part : parts)
            if (bytes.contains(part)) {
                unsavableNames.insert(quint16(offset), {QString::fromUtf8(bytes), part});
                return;
            }
    }

    void head(const Material& material) override
    {
        entry = 0;
        headField(QStringLiteral("Model_ID"), material.modelId,
                  material.blockOffset + ModelIdField);
        headField(QStringLiteral("main shader"), material.mainShader,
                  material.blockOffset + MainShaderField);
        if (!starts.contains(material.variant))
            emitFinding(unknown(who(), QStringLiteral("shader variant"), material.variant,
                                material.blockOffset + VariantField));
        padding(material);
    }

    void item(const Item& item) override
    {
        if (item.isGlobalFlag())
            return;
        // Most entries are sound: their texts are made only for what is to be reported.
        const bool nameKnown = starts.contains(item.name);
        const bool valueKnown = item.type != 4 || starts.contains(item.valueWord());
        const bool wordSet = item.type == 4 && item.second != 0;
        const auto unsavable = unsavableNames.isEmpty() ? unsavableNames.constEnd()
                                                        : unsavableNames.constFind(item.name);
        if (nameKnown && valueKnown && !wordSet && !cannotSave(item) &&
            unsavable == unsavableNames.constEnd()) {
            ++entry;
            return;
        }
        const qint64 at = item.blockOffset;
        // This item's findings go out in offset order, references first at the same offset.
        QVector<Finding> found;
        const QString where = who() + QStringLiteral(" entry %1").arg(entry);
        if (!nameKnown || !valueKnown) {
            if (!nameKnown)
                found.append(unknown(where, QStringLiteral("parameter name"), item.name,
                                     at + ItemNameField));
            if (item.type == 4 && !valueKnown)
                found.append(unknown(where, QStringLiteral("texture value"), item.valueWord(),
                                     at + ItemValueField));
        }
        // The layout fixes the word after a texture value at zero; nothing reads it.
        if (wordSet)
            found.append(
                {at + ItemValueField + 2,
                 where + QStringLiteral(": the word after the texture value is not zero")});
        const QString warning = QStringLiteral("warning: ") + where;
        if (!isSavedType(item.type))
            found.append({at + ItemTypeField,
                          warning + QStringLiteral(": type %1 cannot be saved").arg(item.type)});
        else if (item.type == 4 && item.valueWord() == 0)
            found.append({at + ItemValueField,
                          warning + QStringLiteral(": texture value offset 0 has no cell, so a "
                                                   "save takes the next cell for it")});
        if (unsavable != unsavableNames.constEnd())
            found.append({at + ItemNameField,
                          warning + QStringLiteral(": parameter name \"%1\" holds \"%2\", so a "
                                                   "save cannot write it back")
                                        .arg(unsavable->first, unsavable->second)});
        std::stable_sort(found.begin(), found.end(),
                         [](const Finding& a, const Finding& b) { return a.offset < b.offset; });
        for (const Finding& finding : found)
            emitFinding(finding);
        ++entry;
    }

    void material(const Material&) override { ++index; }

    // Everything still held back, once the walk is over.
    void finish() { pass(std::numeric_limits<qint64>::max()); }

private:
    QString who() const { return QStringLiteral("material %1").arg(index); }

    // A type a save has no rule for, or a texture value with no cell to take it from.
    static bool cannotSave(const Item& item)
    {
        return !isSavedType(item.type) || (item.type == 4 && item.valueWord() == 0);
    }

    // The name and main shader must also stay below the writers' limit, or the library
    // cannot be saved again as it stands.
    void headField(const QString& field, quint16 offset, qint64 at)
    {
        if (!starts.contains(offset))
            emitFinding(unknown(who(), field, offset, at));
        else if (offset >= HeadOffsetLimit)
            emitFinding({at, QStringLiteral("%1: %2 offset %3 is past %4, the last one a "
                                            "saved name or main shader can use")
                                 .arg(who(), field)
                                 .arg(offset)
                                 .arg(HeadOffsetLimit - 1)});
    }

    static Finding unknown(const QString& where, const QString& field, quint16 offset, qint64 at)
    {
        return {at, QStringLiteral("%1: %2 offset %3 starts no dictionary string")
                        .arg(where, field)
                        .arg(offset)};
    }

    // The padding between a record's head and its parameter count is fixed at zero too.
    void padding(const Material& material)
    {
        const qint64 headEnd = material.blockOffset + HeadSize;
        const qint64 count =
            block.materialCountOffset + ((headEnd - block.materialCountOffset + 3) & ~qint64(3));
        if (count + 2 > data.size())
            return;
        for (qint64 at = headEnd; at < count; ++at)
            if (data.at(int(at)) != 0) {
                emitFinding(
                    {headEnd, who() + QStringLiteral(": padding after the head is not zero")});
                return;
            }
    }

    // References come in offset order; the walk's findings may lie ahead of them (and come
    // first at the same offset).
    void emitFinding(const Finding& finding)
    {
        pass(finding.offset);
        report(finding);
    }

    void pass(qint64 upTo)
    {
        for (; taken < block.findings.size(); ++taken) {
            const Finding& next = block.findings.at(taken);
            const auto at =
                std::upper_bound(held.begin(), held.end(), next.offset,
                                 [](qint64 offset, const Finding& f) { return offset < f.offset; });
            held.insert(at, next);
        }
        int sent = 0;
        while (sent < held.size() && held.at(sent).offset <= upTo)
            report(held.at(sent++));
        held.remove(0, sent);
    }

    const QByteArray& data;
    const Block& block;
    const std::function<void(const Finding&)>& report;
    Starts starts;
    QHash<quint16, QPair<QString, QString>> unsavableNames; // offset -> name, the part it holds
    int index = 0;
    int entry = 0;
    int taken = 0;         // walk findings moved to `held`
    QVector<Finding> held; // walk findings not yet passed on, by offset
};

QString magicProblem(const QByteArray& data)
{
    if (data.size() < 4)
        return QStringLiteral("not an MTLs block: %1 bytes, too short for the magic")
            .arg(data.size());
    return QStringLiteral("not an MTLs block: it starts with %1, not 4D 54 4C 73 (\"MTLs\")")
        .arg(QString::fromLatin1(data.left(4).toHex(' ').toUpper()));
}

} // namespace

void checkBlock(const QByteArray& data, const std::function<void(const Finding&)>& report)
{
    Block block;
    ReferenceCheck check(data, block, report);
    if (!walk(data, block, check)) {
        report({0, magicProblem(data)});
        return;
    }
    check.finish();
}

QVector<Finding> checkBlock(const QByteArray& data)
{
    QVector<Finding> findings;
    checkBlock(data, [&findings](const Finding& finding) { findings.append(finding); });
    return findings;
}

namespace {

// The texts a record can name, and the distinct pairs of main shader and variant.
class ShaderPairs : public BlockVisitor {
public:
    void string(const char* text, qint64 length, quint32 offset) override
    {
        if (offset <= 0xFFFF && !texts.contains(quint16(offset)))
            texts.insert(quint16(offset), QString::fromUtf8(text, int(length)));
    }
    void head(const Material& material) override
    {
        pairs.insert(quint32(material.mainShader) << 16 | material.variant);
    }
    QStringList names() const
    {
        std::set<QString> sorted;
        for (quint32 pair : pairs)
            sorted.insert(texts.value(quint16(pair >> 16)) + QStringLiteral("::") +
                          texts.value(quint16(pair & 0xFFFF)));
        return QStringList(sorted.begin(), sorted.end());
    }

private:
    QHash<quint16, QString> texts;
    QSet<quint32> pairs;
};

} // namespace

std::optional<BlockSummary> summarize(const QByteArray& data)
{
    BlockSummary summary;
    ShaderPairs pairs;
    if (!walk(data, summary.block, pairs))
        return std::nullopt;
    summary.shaders = pairs.names();
    return summary;
}

} // namespace mtls
