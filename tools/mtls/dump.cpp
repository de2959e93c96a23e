// The two forms of `mtls dump`. The JSON is written by hand, field by field in a fixed order
// with one dictionary string or item per line, so that the same block always gives the same
// bytes and a changed library shows as a short diff.
#include "tools/mtls/commands.h"

#include "mtls/library.h"

#include <QHash>

namespace cli {

namespace {

// A dictionary reference as the file holds it, and the string it resolves to, if any.
struct Reference {
    quint16 offset = 0;
    std::optional<QString> text;
};

class Resolver {
public:
    explicit Resolver(const mtls::Block& block)
    {
        for (const mtls::DictionaryEntry& entry : block.dictionary)
            if (!strings.contains(entry.offset))
                strings.insert(entry.offset, entry.text);
    }
    Reference at(quint16 offset) const
    {
        Reference reference{offset, std::nullopt};
        const auto found = strings.constFind(offset);
        if (found != strings.constEnd())
            reference.text = found.value();
        return reference;
    }
    QString text(quint16 offset) const { return strings.value(offset); }

private:
    QHash<quint32, QString> strings;
};

QString quoted(const QString& text)
{
    QString result = QStringLiteral("\"");
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case '"':
            result += QLatin1String("\\\"");
            break;
        case '\\':
            result += QLatin1String("\\\\");
            break;
        case '\n':
            result += QLatin1String("\\n");
            break;
        case '\r':
            result += QLatin1String("\\r");
            break;
        case '\t':
            result += QLatin1String("\\t");
            break;
        default:
            if (ch.unicode() < 0x20)
                result += QStringLiteral("\\u%1").arg(ch.unicode(), 4, 16, QLatin1Char('0'));
            else
                result += ch;
        }
    }
    return result + QLatin1Char('"');
}

QString hex64(quint64 value)
{
    return QStringLiteral("0x%1").arg(value, 16, 16, QLatin1Char('0'));
}

QString fullShader(const Resolver& resolver, const mtls::Material& material)
{
    return resolver.text(material.mainShader) + QStringLiteral("::") +
           resolver.text(material.variant);
}

// ---- text ----

QString shown(const Reference& reference)
{
    return (reference.text ? quoted(*reference.text) : QStringLiteral("(none)")) +
           QStringLiteral(" @") + QString::number(reference.offset);
}

QString itemText(const Resolver& resolver, const mtls::Item& item)
{
    QString line = QStringLiteral("    byte %1  ").arg(item.blockOffset);
    if (item.isGlobalFlag())
        return line + mtls::globalFlagText(item.name, item.type);
    line += shown(resolver.at(item.name)) + QStringLiteral("  type %1  ").arg(item.type);
    switch (item.type) {
    case 1:
    case 3:
        return line + QStringLiteral("numbers %1 %2").arg(item.first).arg(item.second);
    case 2:
        return line + QStringLiteral("values %1 %2").arg(hex64(item.first), hex64(item.second));
    case 4:
        return line + QStringLiteral("value ") + shown(resolver.at(item.valueWord()));
    case 5:
        return line + QStringLiteral("hash ") + hex64(item.first);
    case mtls::GlobalFlagType:
        return line + QStringLiteral("word %1").arg(item.first);
    default:
        return line + QStringLiteral("words %1 %2").arg(item.first).arg(item.second);
    }
}

QString materialText(const Resolver& resolver, int index, const mtls::Material& material)
{
    QString text =
        QStringLiteral("  Index %1 (byte %2)  Main Shader %3  Model_ID %4  SubMtls # %5  P0 %6\n")
            .arg(index)
            .arg(material.blockOffset)
            .arg(shown(resolver.at(material.mainShader)), shown(resolver.at(material.modelId)),
                 material.countRead ? QString::number(material.paramCount)
                                    : QStringLiteral("(cut off)"),
                 shown(resolver.at(material.variant)));
    text += QStringLiteral("    shader ") + fullShader(resolver, material) +
            QStringLiteral("  flags %1 %2 %3 %4\n")
                .arg(material.flags[0])
                .arg(material.flags[1])
                .arg(material.flags[2])
                .arg(material.flags[3]);
    for (const mtls::Item& item : material.items)
        text += itemText(resolver, item) + QLatin1Char('\n');
    if (!material.complete)
        text += QStringLiteral("    (the record is cut off here)\n");
    return text;
}

// ---- JSON ----

QString jsonReference(const Reference& reference)
{
    return QStringLiteral("{\"offset\": %1, \"text\": %2}")
        .arg(reference.offset)
        .arg(reference.text ? quoted(*reference.text) : QStringLiteral("null"));
}

QString itemJson(const Resolver& resolver, const mtls::Item& item)
{
    QString json = QStringLiteral("{\"byte\": %1, ").arg(item.blockOffset);
    if (item.isGlobalFlag())
        return json + QStringLiteral("\"globalFlag\": [%1, %2]}").arg(item.name).arg(item.type);
    json += QStringLiteral("\"name\": ") + jsonReference(resolver.at(item.name)) +
            QStringLiteral(", \"type\": %1, ").arg(item.type);
    switch (item.type) {
    case 1:
    case 3:
        return json + QStringLiteral("\"numbers\": [%1, %2]}").arg(item.first).arg(item.second);
    case 2:
        return json + QStringLiteral("\"values\": [\"%1\", \"%2\"]}")
                          .arg(hex64(item.first), hex64(item.second));
    case 4:
        return json +
               QStringLiteral("\"value\": %1}").arg(jsonReference(resolver.at(item.valueWord())));
    case 5:
        return json + QStringLiteral("\"hash\": \"%1\"}").arg(hex64(item.first));
    case mtls::GlobalFlagType:
        return json + QStringLiteral("\"words\": [%1]}").arg(item.first);
    default:
        return json + QStringLiteral("\"words\": [%1, %2]}").arg(item.first).arg(item.second);
    }
}

QString materialJson(const Resolver& resolver, int index, const mtls::Material& material)
{
    QString json = QStringLiteral("    {\n");
    json += QStringLiteral("      \"index\": %1,\n").arg(index);
    json += QStringLiteral("      \"byte\": %1,\n").arg(material.blockOffset);
    json +=
        QStringLiteral("      \"name\": %1,\n").arg(jsonReference(resolver.at(material.modelId)));
    json += QStringLiteral("      \"mainShader\": %1,\n")
                .arg(jsonReference(resolver.at(material.mainShader)));
    json += QStringLiteral("      \"variant\": %1,\n")
                .arg(jsonReference(resolver.at(material.variant)));
    json += QStringLiteral("      \"shader\": %1,\n").arg(quoted(fullShader(resolver, material)));
    json += QStringLiteral("      \"flags\": [%1, %2, %3, %4],\n")
                .arg(material.flags[0])
                .arg(material.flags[1])
                .arg(material.flags[2])
                .arg(material.flags[3]);
    json += QStringLiteral("      \"parameterCount\": %1,\n")
                .arg(material.countRead ? QString::number(material.paramCount)
                                        : QStringLiteral("null"));
    json += QStringLiteral("      \"complete\": %1,\n")
                .arg(material.complete ? QStringLiteral("true") : QStringLiteral("false"));
    if (material.items.isEmpty()) {
        json += QStringLiteral("      \"items\": []\n");
    } else {
        json += QStringLiteral("      \"items\": [\n");
        for (int i = 0; i < material.items.size(); ++i)
            json += QStringLiteral("        ") + itemJson(resolver, material.items.at(i)) +
                    (i + 1 < material.items.size() ? QStringLiteral(",\n") : QStringLiteral("\n"));
        json += QStringLiteral("      ]\n");
    }
    return json + QStringLiteral("    }");
}

} // namespace

QString dumpText(const mtls::Block& block)
{
    const Resolver resolver(block);
    QString text = QStringLiteral("MTLs Dictionary: %1 strings, %2 bytes\n")
                       .arg(block.dictionary.size())
                       .arg(block.stringTableSize);
    text += QStringLiteral("  Index  Offset  Item\n");
    for (int k = 0; k < block.dictionary.size(); ++k)
        text += QStringLiteral("  %1  %2  %3\n")
                    .arg(k, 5)
                    .arg(block.dictionary.at(k).offset, 6)
                    .arg(quoted(block.dictionary.at(k).text));
    text += QStringLiteral("Found %1 materials:\n").arg(block.materialCount);
    for (int i = 0; i < block.materials.size(); ++i)
        text += materialText(resolver, i, block.materials.at(i));
    if (block.truncated)
        text += QStringLiteral("Truncated: the data ends before everything its counts announce; "
                               "%1 of %2 materials read.\n")
                    .arg(block.materials.size())
                    .arg(block.materialCount);
    return text;
}

QString dumpJson(const mtls::Block& block)
{
    const Resolver resolver(block);
    QString json = QStringLiteral("{\n");
    json += QStringLiteral("  \"formatWord\": %1,\n").arg(block.formatWord);
    json += QStringLiteral("  \"stringTableSize\": %1,\n").arg(block.stringTableSize);
    if (block.dictionary.isEmpty()) {
        json += QStringLiteral("  \"dictionary\": [],\n");
    } else {
        json += QStringLiteral("  \"dictionary\": [\n");
        for (int k = 0; k < block.dictionary.size(); ++k) {
            const mtls::DictionaryEntry& entry = block.dictionary.at(k);
            // Text alone cannot carry bytes that are not UTF-8; pack takes them from here.
            const QString bytes = entry.bytes.isEmpty()
                                      ? QString()
                                      : QStringLiteral(", \"bytes\": \"%1\"")
                                            .arg(QString::fromLatin1(entry.bytes.toHex()));
            json += QStringLiteral("    {\"index\": %1, \"offset\": %2, \"text\": %3%4}%5\n")
                        .arg(k)
                        .arg(entry.offset)
                        .arg(quoted(entry.text), bytes,
                             k + 1 < block.dictionary.size() ? QStringLiteral(",") : QString());
        }
        json += QStringLiteral("  ],\n");
    }
    json += QStringLiteral("  \"materialCount\": %1,\n").arg(block.materialCount);
    if (block.materials.isEmpty()) {
        json += QStringLiteral("  \"materials\": [],\n");
    } else {
        json += QStringLiteral("  \"materials\": [\n");
        for (int i = 0; i < block.materials.size(); ++i)
            json += materialJson(resolver, i, block.materials.at(i)) +
                    (i + 1 < block.materials.size() ? QStringLiteral(",\n") : QStringLiteral("\n"));
        json += QStringLiteral("  ],\n");
    }
    json += QStringLiteral("  \"truncated\": %1\n")
                .arg(block.truncated ? QStringLiteral("true") : QStringLiteral("false"));
    return json + QStringLiteral("}\n");
}

} // namespace cli
