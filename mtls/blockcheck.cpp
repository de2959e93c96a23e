#include "mtls/blockcheck.h"

#include "mtls/library.h"

#include <QSet>
#include <algorithm>

namespace mtls {

namespace {

// Byte positions of the reference fields inside a record head and an item.
constexpr int ModelIdField = 0;
constexpr int MainShaderField = 2;
constexpr int VariantField = 6;
constexpr int ItemNameField = 0;
constexpr int ItemTypeField = 2;
constexpr int ItemValueField = 4;

class ReferenceCheck {
public:
    ReferenceCheck(const Block& block, QVector<Finding>& findings) : findings(findings)
    {
        starts.reserve(block.dictionary.size());
        for (const DictionaryEntry& entry : block.dictionary)
            starts.insert(entry.offset);
    }

    void material(int index, const Material& material)
    {
        const QString who = QStringLiteral("material %1").arg(index);
        headField(who, QStringLiteral("Model_ID"), material.modelId,
                  material.blockOffset + ModelIdField);
        headField(who, QStringLiteral("main shader"), material.mainShader,
                  material.blockOffset + MainShaderField);
        reference(who, QStringLiteral("shader variant"), material.variant,
                  material.blockOffset + VariantField);
        int entry = 0;
        for (const Item& item : material.items) {
            if (item.isGlobalFlag())
                continue;
            const QString where = who + QStringLiteral(" entry %1").arg(entry++);
            reference(where, QStringLiteral("parameter name"), item.name,
                      item.blockOffset + ItemNameField);
            // Only a type-4 value is a reference; the other value words are numbers.
            if (item.type == 4)
                reference(where, QStringLiteral("texture value"), item.valueWord(),
                          item.blockOffset + ItemValueField);
        }
    }

private:
    // The name and main shader must also stay below the writers' limit, or the library
    // cannot be saved again as it stands.
    void headField(const QString& who, const QString& field, quint16 offset, qint64 at)
    {
        if (!reference(who, field, offset, at))
            return;
        if (offset >= HeadOffsetLimit)
            findings.append({at, QStringLiteral("%1: %2 offset %3 is past %4, the last one a "
                                                "saved name or main shader can use")
                                     .arg(who, field)
                                     .arg(offset)
                                     .arg(HeadOffsetLimit - 1)});
    }

    bool reference(const QString& who, const QString& field, quint16 offset, qint64 at)
    {
        if (starts.contains(offset))
            return true;
        findings.append({at, QStringLiteral("%1: %2 offset %3 starts no dictionary string")
                                 .arg(who, field)
                                 .arg(offset)});
        return false;
    }

    QVector<Finding>& findings;
    QSet<quint32> starts;
};

// Bytes the layout fixes at zero: the padding before the parameter count and the word after
// a texture value. Nothing reads them, so only here would a stray value show.
void zeroFields(const QByteArray& data, const Block& block, int index, const Material& material,
                QVector<Finding>& findings)
{
    const QString who = QStringLiteral("material %1").arg(index);
    const qint64 headEnd = material.blockOffset + HeadSize;
    const qint64 count =
        block.materialCountOffset + ((headEnd - block.materialCountOffset + 3) & ~qint64(3));
    for (qint64 at = headEnd; material.countRead && at < count; ++at)
        if (data.at(int(at)) != 0) {
            findings.append(
                {headEnd, who + QStringLiteral(": padding after the head is not zero")});
            break;
        }
    int entry = 0;
    for (const Item& item : material.items) {
        if (item.isGlobalFlag())
            continue;
        if (item.type == 4 && item.second != 0)
            findings.append({item.blockOffset + ItemValueField + 2,
                             who + QStringLiteral(" entry %1: the word after the texture value "
                                                  "is not zero")
                                       .arg(entry)});
        ++entry;
    }
}

// What a save of the editor cannot write back as it was read.
QVector<Finding> saveWarnings(const Block& block)
{
    static const QString nameParts[] = {QStringLiteral("Global"), QStringLiteral("/"),
                                        QStringLiteral("\\")};
    const DictionaryIndex index(block.dictionary);
    QVector<Finding> warnings;
    for (int m = 0; m < block.materials.size(); ++m) {
        int entry = 0;
        for (const Item& item : block.materials.at(m).items) {
            if (item.isGlobalFlag())
                continue;
            const QString who = QStringLiteral("warning: material %1 entry %2").arg(m).arg(entry++);
            if (item.type < 1 || item.type > 5)
                warnings.append({item.blockOffset + ItemTypeField,
                                 who + QStringLiteral(": type %1 cannot be saved").arg(item.type)});
            else if (item.type == 4 && item.valueWord() == 0)
                warnings.append({item.blockOffset + ItemValueField,
                                 who + QStringLiteral(": texture value offset 0 has no cell, so a "
                                                      "save takes the next cell for it")});
            const QString name = index.at(item.name);
            for (const QString& part : nameParts)
                if (name.contains(part)) {
                    warnings.append(
                        {item.blockOffset + ItemNameField,
                         who + QStringLiteral(": parameter name \"%1\" holds \"%2\", so a "
                                              "save cannot write it back")
                                   .arg(name, part)});
                    break;
                }
        }
    }
    return warnings;
}

QString magicProblem(const QByteArray& data)
{
    if (data.size() < 4)
        return QStringLiteral("not an MTLs block: %1 bytes, too short for the magic")
            .arg(data.size());
    return QStringLiteral("not an MTLs block: it starts with %1, not 4D 54 4C 73 (\"MTLs\")")
        .arg(QString::fromLatin1(data.left(4).toHex(' ').toUpper()));
}

} // namespace

QVector<Finding> checkBlock(const QByteArray& data)
{
    const std::optional<Block> block = decode(data);
    if (!block)
        return {{0, magicProblem(data)}};
    QVector<Finding> findings = block->findings;
    ReferenceCheck references(*block, findings);
    for (int i = 0; i < block->materials.size(); ++i) {
        references.material(i, block->materials.at(i));
        zeroFields(data, *block, i, block->materials.at(i), findings);
    }
    findings += saveWarnings(*block);
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return a.offset < b.offset; });
    return findings;
}

} // namespace mtls
