// A library through the editor's core and back: decode -> grid -> save -> decode -> grid.
//
// The load lays the block out as the materials grid and makes its catalogue records; the
// records go into a catalogue held in memory and the save writes the grid with the loaded
// dictionary in front, as the editor's save does. Whatever the input, the save refuses with
// one of its two messages or writes a block that decodes whole, without any finding. The
// second grid then equals the first wherever the first is writable:
//
// - Columns 0 and 3 (row number, parameter count): equal in every row.
// - Columns 1, 2 and 4 (main shader, material name, variant): the first grid's text with its
//   spaces removed, since the writer drops spaces there; an empty main shader has no item.
// - Parameter cells of faithful rows, entry by entry:
//   - name cells: equal;
//   - type 4 value: equal, except a value cell with "Global" (no string started at the value
//     word; the writer writes the offset of "", shown as another placeholder or as nothing)
//     and a value that is the first dictionary string (its offset is 0, and the loader shows
//     value word 0 as no value, so the second grid has no value cell there);
//   - type 1 and 3 value (the number a, shown as the string that starts at it): equal while
//     the dictionary comes back byte for byte and a lies inside it; invalid UTF-8 comes back
//     as U+FFFD and moves every later offset, and strings appended by the save may start
//     past the old end;
//   - type 2 value: the writer stores zeros, so the second grid has no value cell;
//   - global shader flag cells: never written, so absent from the second grid.
// - A row is faithful when the writer can read it back the way the loader laid it out: its
//   material was read whole, every entry has a type from 1 to 5 (the writer refuses the
//   others), no name cell contains "Global" (the writer skips such cells),
//   the catalogue's type line for each name has the entry's own type, and for types 1 and 3
//   its own a and b (the writer takes them from the first line recorded for the name), every
//   type 4 entry has a value cell (value word not 0; otherwise the writer takes the next cell
//   for its value), and no value cell of a type 1, 2 or 3 entry is a name with a type line
//   (the writer would take it for a parameter). Other rows are compared in columns 0 to 4,
//   and the writer may refuse the library only when one of its rows is not faithful.
#include "catalogue/shadercatalogue.h"
#include "fuzzcheck.h"
#include "mtls/block.h"
#include "mtls/library.h"
#include "mtls/writer.h"

#include <cstdint>

namespace {

using mtls::GridRow;
using mtls::Item;
using mtls::Material;

const QString GlobalMarker = QStringLiteral("Global");

// Where the loader put an entry's cells: the grid column of its name and of its value (-1
// when it shows none).
struct EntryCells {
    int item = 0;
    int name = 0;
    int value = -1;
};

QVector<EntryCells> entryCells(const Material& material, int& cellCount)
{
    QVector<EntryCells> entries;
    int column = mtls::FirstParameterColumn;
    for (int i = 0; i < material.items.size(); ++i) {
        const Item& item = material.items[i];
        if (item.isGlobalFlag()) {
            ++column;
            continue;
        }
        EntryCells cells{i, column++, -1};
        if (item.hasValueWord() && item.valueWord() != 0)
            cells.value = column++;
        entries.append(cells);
    }
    cellCount = column - mtls::FirstParameterColumn;
    return entries;
}

QString textOf(const GridRow& row, int column)
{
    return column >= 0 && column < row.size() ? row[column].value_or(QString()) : QString();
}

bool hasCell(const GridRow& row, int column)
{
    return column >= 0 && column < row.size() && row[column].has_value();
}

// The writer writes the entry as read: its type (and a, b) are the catalogue's for its name.
bool catalogueAgrees(const ShaderCatalogue& catalogue, const QString& name, const Item& item)
{
    const std::optional<QString> line = catalogue.typeLine(name);
    if (!line)
        return false;
    const QStringList parts = line->split(QLatin1Char(','));
    if (lowWord(parts.at(0)) != item.type)
        return false;
    if (item.type == 1 || item.type == 3)
        return parts.size() >= 3 && lowWord(parts.at(1)) == item.first &&
               lowWord(parts.at(2)) == item.second;
    return true;
}

bool faithful(const Material& material, const GridRow& row, const QVector<EntryCells>& entries,
              const ShaderCatalogue& catalogue)
{
    if (!material.complete)
        return false;
    for (const EntryCells& cells : entries) {
        const Item& item = material.items[cells.item];
        const QString name = textOf(row, cells.name);
        if (item.type < 1 || item.type > 5 || name.contains(GlobalMarker) ||
            !catalogueAgrees(catalogue, name, item))
            return false;
        if (item.type == 4 && cells.value < 0)
            return false;
        if (item.type >= 1 && item.type <= 3 && cells.value >= 0) {
            const QString value = textOf(row, cells.value);
            if (!value.contains(GlobalMarker) && catalogue.typeLine(value))
                return false;
        }
    }
    return true;
}

// True when every dictionary string re-encodes to the bytes it was read from, so that every
// offset below the dictionary's end means the same string after the save.
bool dictionaryComesBack(const QByteArray& bytes, const mtls::Block& block)
{
    for (const mtls::DictionaryEntry& entry : block.dictionary) {
        const int start = mtls::DictionaryOffset + int(entry.offset);
        const int zero = bytes.indexOf('\0', start);
        if (zero < 0 || entry.text.toUtf8() != bytes.mid(start, zero - start))
            return false;
    }
    return true;
}

QString describe(int row, int column, const QString& first, const QString& second)
{
    return QStringLiteral("row %1 column %2: first '%3', second '%4'")
        .arg(row)
        .arg(column)
        .arg(first, second);
}

void compareHead(int r, const GridRow& first, const GridRow& second)
{
    for (int column : {int(mtls::IndexColumn), int(mtls::CountColumn)})
        FUZZ_REQUIRE(textOf(first, column) == textOf(second, column),
                     describe(r, column, textOf(first, column), textOf(second, column)));
    for (int column : {int(mtls::ModelIdColumn), int(mtls::VariantColumn)}) {
        const QString expected = withoutSpaces(textOf(first, column));
        FUZZ_REQUIRE(hasCell(second, column) && textOf(second, column) == expected,
                     describe(r, column, expected, textOf(second, column)));
    }
    const QString shader = withoutSpaces(textOf(first, mtls::MainShaderColumn));
    FUZZ_REQUIRE(hasCell(second, mtls::MainShaderColumn) == !shader.isEmpty() &&
                     textOf(second, mtls::MainShaderColumn) == shader,
                 describe(r, 1, shader, textOf(second, mtls::MainShaderColumn)));
}

struct RoundTrip {
    const QByteArray& bytes;
    const mtls::Block& firstBlock;
    const mtls::LoadedLibrary& first;
    const mtls::Block& secondBlock;
    const mtls::LoadedLibrary& second;
    const ShaderCatalogue& catalogue;
    QString firstString; // offset 0 of the written dictionary
    bool offsetsKept = false;
    qint64 oldEnd = 0; // byte length of the loaded dictionary

    void compareParameters(int r) const
    {
        const Material& m1 = firstBlock.materials[r];
        const Material& m2 = secondBlock.materials[r];
        const GridRow& row1 = first.grid.rows[r];
        const GridRow& row2 = second.grid.rows[r];
        int cells1 = 0, cells2 = 0;
        const QVector<EntryCells> entries1 = entryCells(m1, cells1);
        const QVector<EntryCells> entries2 = entryCells(m2, cells2);
        FUZZ_REQUIRE(row1.size() == mtls::FirstParameterColumn + cells1, QString::number(r));
        FUZZ_REQUIRE(row2.size() == mtls::FirstParameterColumn + cells2, QString::number(r));
        FUZZ_REQUIRE(m2.complete, QString::number(r));
        for (const Item& item : m2.items)
            FUZZ_REQUIRE(!item.isGlobalFlag(), QStringLiteral("written global flag item"));
        if (!faithful(m1, row1, entries1, catalogue))
            return;

        FUZZ_REQUIRE(entries1.size() == entries2.size(),
                     QStringLiteral("row %1: %2 entries written as %3")
                         .arg(r)
                         .arg(entries1.size())
                         .arg(entries2.size()));
        for (int k = 0; k < entries1.size(); ++k) {
            const EntryCells& e1 = entries1[k];
            const EntryCells& e2 = entries2[k];
            const Item& item1 = m1.items[e1.item];
            const Item& item2 = m2.items[e2.item];
            FUZZ_REQUIRE(item1.type == item2.type, describe(r, e1.name, "type", "type"));
            const QString name1 = textOf(row1, e1.name);
            FUZZ_REQUIRE(name1 == textOf(row2, e2.name),
                         describe(r, e1.name, name1, textOf(row2, e2.name)));
            compareValue(r, item1, textOf(row1, e1.value), e1.value >= 0, row2, e2.value);
        }
    }

    void compareValue(int r, const Item& item, const QString& value1, bool hasValue1,
                      const GridRow& row2, int column2) const
    {
        const QString value2 = textOf(row2, column2);
        const QString where = describe(r, column2, value1, value2);
        switch (item.type) {
        case 4:
            if (value1.contains(GlobalMarker))
                return;
            if (value1 == firstString)
                FUZZ_REQUIRE(column2 < 0, where);
            else
                FUZZ_REQUIRE(column2 >= 0 && value1 == value2, where);
            return;
        case 1:
        case 3:
            if (offsetsKept && qint64(item.first) < oldEnd)
                FUZZ_REQUIRE(hasValue1 == (column2 >= 0) && value1 == value2, where);
            return;
        case 2:
        case 5:
            FUZZ_REQUIRE(column2 < 0, where);
            return;
        default:
            FUZZ_REQUIRE(false, QStringLiteral("type %1 written").arg(item.type));
        }
    }
};

void checkDecoded(const QByteArray& bytes, const mtls::Block& block)
{
    FUZZ_REQUIRE(quint32(block.materials.size()) <= block.materialCount,
                 QStringLiteral("more records than the count"));
    FUZZ_REQUIRE(block.endOffset <= bytes.size(), QStringLiteral("read past the end"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // No copy: a read one byte past the end lands outside the fuzzer's buffer.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const std::optional<mtls::Block> firstBlock = mtls::decode(bytes);
    if (!firstBlock)
        return 0;
    checkDecoded(bytes, *firstBlock);
    const mtls::LoadedLibrary first = mtls::layoutBlock(*firstBlock);
    for (const GridRow& row : first.grid.rows)
        FUZZ_REQUIRE(row.size() <= first.grid.columnCount,
                     QStringLiteral("cell past the last column"));
    // Every column past the first 15 is bought with data: a cell takes at least 3 bytes (a
    // 6-byte entry with its value), and N entries read whole widen the grid to 2N + 1.
    FUZZ_REQUIRE(first.grid.columnCount <= qMax(qint64(15), 5 + qint64(size) / 2),
                 QStringLiteral("%1 columns from %2 bytes").arg(first.grid.columnCount).arg(size));
    // The editor's budget is decided on a count made without the layout: it must be exact.
    const std::optional<mtls::TableCells> cells = mtls::tableCells(bytes);
    FUZZ_REQUIRE(cells && cells->strings == first.dictionary.size() &&
                     cells->rows == first.grid.rows.size() &&
                     cells->columns == first.grid.columnCount + 1,
                 QStringLiteral("%1 rows x %2 columns counted as %3 x %4")
                     .arg(first.grid.rows.size())
                     .arg(first.grid.columnCount)
                     .arg(cells ? cells->rows : -1)
                     .arg(cells ? cells->columns : -1));

    ShaderCatalogue catalogue = ShaderCatalogue::inMemory();
    for (const mtls::CatalogueRecord& record : first.records)
        catalogue.record(record.key, record.value);
    const QStringList dictionaryColumn = firstBlock->dictionaryTexts();
    mtls::WriteOptions options;
    options.savePath = QStringLiteral("D:/mods/Characters/hero_01/body.mtls");
    const mtls::WriteResult written =
        mtls::writeLibrary(first.grid, dictionaryColumn, catalogue, options);
    if (written.outcome == mtls::WriteResult::Refused) {
        FUZZ_REQUIRE(written.message.startsWith(QLatin1String(mtls::UnknownTypeMessage)),
                     written.message);
        // A refusal needs a row that the writer cannot read back as it was laid out.
        bool allFaithful = true;
        for (int r = 0; r < first.grid.rows.size() && allFaithful; ++r) {
            int cells = 0;
            const Material& material = firstBlock->materials[r];
            allFaithful =
                faithful(material, first.grid.rows[r], entryCells(material, cells), catalogue);
        }
        FUZZ_REQUIRE(!allFaithful,
                     QStringLiteral("refused a library of faithful rows: ") + written.message);
        FUZZ_REQUIRE(written.bytes.isEmpty(), QStringLiteral("bytes with a refusal"));
        return 0;
    }
    if (written.outcome == mtls::WriteResult::StringLimit) {
        FUZZ_REQUIRE(written.message == QLatin1String(mtls::StringLimitMessage), written.message);
        FUZZ_REQUIRE(written.bytes.isEmpty(), QStringLiteral("bytes with a string limit"));
        return 0;
    }

    const std::optional<mtls::Block> secondBlock = mtls::decode(written.bytes);
    FUZZ_REQUIRE(secondBlock.has_value(), QStringLiteral("written block has no magic"));
    FUZZ_REQUIRE(!secondBlock->truncated && secondBlock->findings.isEmpty(),
                 secondBlock->findings.isEmpty() ? QStringLiteral("truncated")
                                                 : secondBlock->findings.first().text);
    FUZZ_REQUIRE(secondBlock->dictionaryTexts() == written.dictionary,
                 QStringLiteral("dictionary read back differs from the one written"));
    FUZZ_REQUIRE(written.dictionary.mid(0, dictionaryColumn.size()) == dictionaryColumn,
                 QStringLiteral("loaded dictionary not kept in front"));
    const mtls::LoadedLibrary second = mtls::layoutBlock(*secondBlock);
    FUZZ_REQUIRE(second.grid.rows.size() == first.grid.rows.size(),
                 QStringLiteral("%1 rows written as %2")
                     .arg(first.grid.rows.size())
                     .arg(second.grid.rows.size()));

    const RoundTrip check{bytes,
                          *firstBlock,
                          first,
                          *secondBlock,
                          second,
                          catalogue,
                          written.dictionary.value(0),
                          dictionaryComesBack(bytes, *firstBlock),
                          mtls::dictionaryOffsets(dictionaryColumn).last()};
    for (int r = 0; r < first.grid.rows.size(); ++r) {
        compareHead(r, first.grid.rows[r], second.grid.rows[r]);
        check.compareParameters(r);
    }
    return 0;
}
