// The writer fed arbitrary grids, dictionary columns and catalogue entries (see
// writerscript.h for the input). It either refuses with one of its messages, writing
// nothing, or writes a block that decodes whole, without any finding, and says what the
// grid and the catalogue say:
// - the dictionary is the loaded column (unless the preview drops a 2-row one), then the
//   cells, and the preview's ends with "";
// - one record per row, each with the row's parameter count and exactly that many entries;
// - the material name, main shader and variant fields point at the row's texts without
//   spaces, and the flag words are the catalogue's;
// - every entry's name points at a text whose type line gives the entry's type (and a, b
//   for types 1 and 3), so a reader that sizes entries by the catalogue stays in step;
// - type 2 holds zeros, type 4 a value offset where a string starts and a zero word, and
//   the preview's type 5 the placeholder.
#include "fuzzcheck.h"
#include "mtls/block.h"
#include "writerscript.h"

#include <QSet>
#include <cstdint>

namespace {

void checkFlags(const mtls::Material& material, const QStringList& flags, int r)
{
    for (int i = 0; i < 4; ++i) {
        const quint16 expected = i < flags.size() ? lowWord(flags.at(i)) : 0;
        FUZZ_REQUIRE(material.flags[size_t(i)] == expected,
                     QStringLiteral("row %1 flag word %2").arg(r).arg(i + 1));
    }
}

void checkEntry(const mtls::Item& item, const mtls::DictionaryIndex& index,
                const QSet<quint32>& starts, const ShaderCatalogue& catalogue, bool preview)
{
    FUZZ_REQUIRE(!item.isGlobalFlag(), QStringLiteral("global flag item written"));
    FUZZ_REQUIRE(item.type >= 1 && item.type <= 5, QStringLiteral("type %1").arg(item.type));
    FUZZ_REQUIRE(starts.contains(item.name), QStringLiteral("name offset %1").arg(item.name));
    const QString name = index.at(item.name);
    const std::optional<QString> line = catalogue.typeLine(name);
    FUZZ_REQUIRE(line.has_value(), QStringLiteral("no type line for ") + name);
    const QStringList parts = line->split(QLatin1Char(','));
    FUZZ_REQUIRE(lowWord(parts.at(0)) == item.type, name + QStringLiteral(" has ") + *line);
    switch (item.type) {
    case 1:
    case 3:
        FUZZ_REQUIRE(item.first == lowWord(parts.value(1)) &&
                         item.second == lowWord(parts.value(2)),
                     name + QStringLiteral(": a, b not from ") + *line);
        break;
    case 2:
        FUZZ_REQUIRE(item.first == 0 && item.second == 0, name);
        break;
    case 4:
        FUZZ_REQUIRE(starts.contains(quint32(item.first)) && item.second == 0,
                     QStringLiteral("value offset %1").arg(item.first));
        break;
    case 5:
        if (preview)
            FUZZ_REQUIRE(item.first == mtls::PreviewHash, name);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray script =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const fuzzscript::WriterInput input = fuzzscript::parse(script);
    ShaderCatalogue catalogue = ShaderCatalogue::inMemory();
    for (const mtls::CatalogueRecord& record : input.records)
        catalogue.record(record.key, record.value);

    const mtls::WriteResult written =
        mtls::writeLibrary(input.grid, input.dictionaryColumn, catalogue, input.options);
    if (written.outcome != mtls::WriteResult::Written) {
        FUZZ_REQUIRE(written.bytes.isEmpty(), QStringLiteral("bytes with a stop"));
        FUZZ_REQUIRE(written.outcome == mtls::WriteResult::StringLimit
                         ? written.message == QLatin1String(mtls::StringLimitMessage)
                         : written.message.startsWith(QLatin1String(mtls::UnknownTypeMessage)),
                     written.message);
        return 0;
    }

    const std::optional<mtls::Block> block = mtls::decode(written.bytes);
    FUZZ_REQUIRE(block.has_value(), QStringLiteral("no magic"));
    FUZZ_REQUIRE(!block->truncated && block->findings.isEmpty(),
                 block->findings.isEmpty() ? QStringLiteral("truncated")
                                           : block->findings.first().text);
    FUZZ_REQUIRE(block->formatWord == mtls::FormatWord, QStringLiteral("format word"));
    FUZZ_REQUIRE(block->dictionaryTexts() == written.dictionary, QStringLiteral("dictionary"));
    const bool dropped = input.options.preview && input.dictionaryColumn.size() == 2;
    if (!dropped)
        FUZZ_REQUIRE(written.dictionary.mid(0, input.dictionaryColumn.size()) ==
                         input.dictionaryColumn,
                     QStringLiteral("dictionary column not in front"));
    if (input.options.preview)
        FUZZ_REQUIRE(!written.dictionary.isEmpty() && written.dictionary.last().isEmpty(),
                     QStringLiteral("preview dictionary without its trailing \"\""));

    const mtls::MaterialGrid& grid = input.grid;
    FUZZ_REQUIRE(block->materials.size() == grid.rows.size(), QStringLiteral("row count"));
    const mtls::DictionaryIndex index(block->dictionary);
    QSet<quint32> starts;
    for (const mtls::DictionaryEntry& entry : block->dictionary)
        starts.insert(entry.offset);
    for (int r = 0; r < grid.rows.size(); ++r) {
        const mtls::Material& material = block->materials[r];
        FUZZ_REQUIRE(material.complete, QStringLiteral("row %1 incomplete").arg(r));
        const quint16 count = lowWord(withoutSpaces(grid.text(r, mtls::CountColumn)));
        FUZZ_REQUIRE(material.paramCount == count && material.items.size() == count,
                     QStringLiteral("row %1: %2 entries").arg(r).arg(material.items.size()));
        const QString name = withoutSpaces(grid.text(r, mtls::ModelIdColumn));
        const QString shader = withoutSpaces(grid.text(r, mtls::MainShaderColumn));
        const QString variant = withoutSpaces(grid.text(r, mtls::VariantColumn));
        FUZZ_REQUIRE(starts.contains(material.modelId) && index.at(material.modelId) == name,
                     QStringLiteral("row %1 name").arg(r));
        FUZZ_REQUIRE(starts.contains(material.mainShader) &&
                         index.at(material.mainShader) == shader,
                     QStringLiteral("row %1 main shader").arg(r));
        FUZZ_REQUIRE(starts.contains(material.variant) && index.at(material.variant) == variant,
                     QStringLiteral("row %1 variant").arg(r));
        checkFlags(material, catalogue.flags(shader + QStringLiteral("::") + variant), r);
        for (const mtls::Item& item : material.items)
            checkEntry(item, index, starts, catalogue, input.options.preview);
    }
    return 0;
}
