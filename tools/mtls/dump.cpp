// The two forms of `mtls dump`. The JSON is written by hand, field by field in a fixed order
// with one dictionary string or item per line, so that the same block always gives the same
// bytes and a changed library shows as a short diff.
#include "tools/mtls/commandline.h"

#include "mtls/library.h"
#include "mtls/libraryfile.h"
#include "tools/mtls/render.h"

#include <QHash>
#include <QTextStream>

namespace cli {

namespace {

// A dictionary reference as the file holds it, and the string it resolves to, if any.
struct Reference {
    quint16 offset{};
    std::optional<QString> text;
};

class Resolver {
public:
    // Records are 16-bit, so only the strings in the first 64 KiB can be named.
    void add(quint32 offset, const QString& text)
    {
        if (offset <= 0xFFFF && !strings.contains(offset))
            strings.insert(offset, text);
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

QString fullShader(const Resolver& resolver, const mtls::Material& material)
{
    return resolver.text(material.mainShader) + QStringLiteral("::") +
           resolver.text(material.variant);
}

// ---- text ----

QString shown(const Reference& reference)
{
    return (reference.text ? jsonString(*reference.text) : QStringLiteral("(none)")) +
           QStringLiteral(" @") + QString::number(reference.offset);
}

QString itemText(const Resolver& resolver, const mtls::Item& item)
{
    const QString line = QStringLiteral("    byte %1  ").arg(item.blockOffset);
    if (item.isGlobalFlag())
        return line + mtls::globalFlagText(item.name, item.type);
    return line + shown(resolver.at(item.name)) + QStringLiteral("  type %1  ").arg(item.type) +
           itemValue(item, [&](quint16 offset) { return shown(resolver.at(offset)); });
}

void writeMaterialText(QTextStream& out, const Resolver& resolver, int index,
                       const mtls::Material& material, const QVector<mtls::Item>& items)
{
    out << QStringLiteral(
               "  Index %1 (byte %2)  Main Shader %3  Model_ID %4  SubMtls # %5  P0 %6\n")
               .arg(index)
               .arg(material.blockOffset)
               .arg(shown(resolver.at(material.mainShader)), shown(resolver.at(material.modelId)),
                    material.countRead ? QString::number(material.paramCount)
                                       : QStringLiteral("(cut off)"),
                    shown(resolver.at(material.variant)));
    out << QStringLiteral("    shader ") + fullShader(resolver, material) +
               QStringLiteral("  flags %1 %2 %3 %4\n")
                   .arg(material.flags[0])
                   .arg(material.flags[1])
                   .arg(material.flags[2])
                   .arg(material.flags[3]);
    for (const mtls::Item& item : items)
        out << itemText(resolver, item) << '\n';
    if (!material.complete)
        out << QStringLiteral("    (the record is cut off here)\n");
}

// ---- JSON ----

QString jsonReference(const Reference& reference)
{
    return QStringLiteral("{\"offset\": %1, \"text\": %2}")
        .arg(reference.offset)
        .arg(reference.text ? jsonString(*reference.text) : QStringLiteral("null"));
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

void writeMaterialJson(QTextStream& json, const Resolver& resolver, int index,
                       const mtls::Material& material, const QVector<mtls::Item>& items)
{
    json << QStringLiteral("    {\n");
    json << QStringLiteral("      \"index\": %1,\n").arg(index);
    json << QStringLiteral("      \"byte\": %1,\n").arg(material.blockOffset);
    json << QStringLiteral("      \"name\": %1,\n")
                .arg(jsonReference(resolver.at(material.modelId)));
    json << QStringLiteral("      \"mainShader\": %1,\n")
                .arg(jsonReference(resolver.at(material.mainShader)));
    json << QStringLiteral("      \"variant\": %1,\n")
                .arg(jsonReference(resolver.at(material.variant)));
    json << QStringLiteral("      \"shader\": %1,\n")
                .arg(jsonString(fullShader(resolver, material)));
    json << QStringLiteral("      \"flags\": [%1, %2, %3, %4],\n")
                .arg(material.flags[0])
                .arg(material.flags[1])
                .arg(material.flags[2])
                .arg(material.flags[3]);
    json << QStringLiteral("      \"parameterCount\": %1,\n")
                .arg(material.countRead ? QString::number(material.paramCount)
                                        : QStringLiteral("null"));
    json << QStringLiteral("      \"complete\": %1,\n")
                .arg(material.complete ? QStringLiteral("true") : QStringLiteral("false"));
    if (items.isEmpty()) {
        json << QStringLiteral("      \"items\": []\n");
    } else {
        json << QStringLiteral("      \"items\": [\n");
        for (int i = 0; i < items.size(); ++i)
            json << QStringLiteral("        ") << itemJson(resolver, items.at(i))
                 << (i + 1 < items.size() ? ",\n" : "\n");
        json << QStringLiteral("      ]\n");
    }
    json << QStringLiteral("    }");
}

// Writes the dump as the walk reads the block: only the record being read is held, so the
// output of any file takes memory in proportion to its largest record.
class Dumper : public mtls::BlockVisitor {
public:
    Dumper(QTextStream& out, bool json, const mtls::Block& counted, qint64 size)
        : out(out), json(json), counted(counted), size(size)
    {
    }

    void begin()
    {
        if (!json) {
            out << QStringLiteral("MTLs Dictionary: %1 strings, %2 bytes\n")
                       .arg(counted.stringCount)
                       .arg(counted.stringTableSize)
                << QStringLiteral("  Index  Offset  Item\n");
            return;
        }
        out << QStringLiteral("{\n");
        // Only the header words the file holds: a cut header has no format word to report.
        if (size >= mtls::FormatOffset + 4)
            out << QStringLiteral("  \"formatWord\": %1,\n").arg(counted.formatWord);
        if (size >= mtls::DictionaryOffset)
            out << QStringLiteral("  \"stringTableSize\": %1,\n").arg(counted.stringTableSize);
        out << (counted.stringCount == 0 ? "  \"dictionary\": [],\n" : "  \"dictionary\": [\n");
    }

    void string(const char* bytes, qint64 length, quint32 offset) override
    {
        const QString text = QString::fromUtf8(bytes, int(length));
        resolver.add(offset, text);
        if (json) {
            // Text alone cannot carry bytes that are not UTF-8; pack takes them from here.
            const QByteArray raw = QByteArray::fromRawData(bytes, int(length));
            const QString exact =
                text.toUtf8() == raw
                    ? QString()
                    : QStringLiteral(", \"bytes\": \"%1\"").arg(QString::fromLatin1(raw.toHex()));
            out << QStringLiteral("    {\"index\": %1, \"offset\": %2, \"text\": %3%4}%5\n")
                       .arg(strings)
                       .arg(offset)
                       .arg(jsonString(text), exact,
                            strings + 1 < counted.stringCount ? QStringLiteral(",") : QString());
        } else
            out << QStringLiteral("  %1  %2  %3\n")
                       .arg(strings, 5)
                       .arg(offset, 6)
                       .arg(jsonString(text));
        ++strings;
    }

    void item(const mtls::Item& item) override { items.append(item); }

    void material(const mtls::Material& material) override
    {
        materialsBegin();
        if (json) {
            writeMaterialJson(out, resolver, materials, material, items);
            out << (materials + 1 < counted.materialsRead ? ",\n" : "\n");
        } else {
            writeMaterialText(out, resolver, materials, material, items);
        }
        items.clear();
        ++materials;
    }

    void end()
    {
        materialsBegin();
        if (!json) {
            if (counted.truncated)
                out << QStringLiteral("Truncated: the data ends before everything its counts "
                                      "announce; %1 of %2 materials read.\n")
                           .arg(counted.materialsRead)
                           .arg(counted.materialCount);
            return;
        }
        if (counted.materialsRead > 0)
            out << "  ],\n";
        out << QStringLiteral("  \"truncated\": %1\n")
                   .arg(counted.truncated ? QStringLiteral("true") : QStringLiteral("false"))
            << "}\n";
    }

private:
    // Once, between the last string and the first record.
    void materialsBegin()
    {
        if (materialsBegun)
            return;
        materialsBegun = true;
        if (!json) {
            out << QStringLiteral("Found %1 materials:\n").arg(counted.materialCount);
            return;
        }
        if (counted.stringCount > 0)
            out << "  ],\n";
        out << QStringLiteral("  \"materialCount\": %1,\n").arg(counted.materialCount)
            << (counted.materialsRead == 0 ? "  \"materials\": [],\n" : "  \"materials\": [\n");
    }

    QTextStream& out;
    const bool json;
    const mtls::Block& counted;
    qint64 size;
    Resolver resolver;
    QVector<mtls::Item> items; // of the record being read
    qint64 strings = 0;
    qint64 materials = 0;
    bool materialsBegun = false;
};

// The dump as the block is read; false when `data` is no MTLs block.
bool writeDump(const QByteArray& data, bool json, QTextStream& out)
{
    // A first walk counts what the dump announces before it lists it.
    mtls::Block counted;
    mtls::BlockVisitor counter;
    if (!mtls::walk(data, counted, counter))
        return false;
    mtls::Block block;
    Dumper dumper(out, json, counted, data.size());
    dumper.begin();
    mtls::walk(data, block, dumper);
    dumper.end();
    return true;
}

const QString Json = QStringLiteral("json");

} // namespace

void setupDump(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The library to read."));
    parser.addOption({Json, QStringLiteral("Stable JSON that diffs well.")});
}

int runDump(const QCommandLineParser& parser, Streams io)
{
    if (parser.positionalArguments().size() != 1)
        return usageError(io, QStringLiteral("dump takes one file"));
    const QString path = parser.positionalArguments().first();
    const mtls::FileBytes bytes = mtls::readLibraryFile(path);
    if (bytes.refusal)
        return refuse(io.err, path, bytes.refusal);
    if (!writeDump(bytes.data, parser.isSet(Json), io.out))
        return refuse(io.err, path, notLibrary());
    return Success;
}

} // namespace cli
