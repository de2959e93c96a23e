#include "mtls/library.h"

#include <algorithm>
#include <optional>
#include <utility>

#include <QLocale>
#include <QSet>

namespace mtls {

QString MaterialGrid::text(int row, int column) const
{
    if (row < 0 || row >= rows.size() || column < 0 || column >= rows[row].size())
        return QString();
    return rows[row][column].value_or(QString());
}

DictionaryIndex::DictionaryIndex(const QVector<DictionaryEntry>& entries) : entries(entries) {}

std::optional<QString> DictionaryIndex::find(quint32 offset) const
{
    const auto found = std::lower_bound(
        entries.cbegin(), entries.cend(), offset,
        [](const DictionaryEntry& entry, quint32 wanted) { return entry.offset < wanted; });
    if (found == entries.cend() || found->offset != offset)
        return std::nullopt;
    return found->text;
}

QString globalFlagText(quint16 first, quint16 second)
{
    return QStringLiteral("Global@ShaderFlag%1-%2").arg(first).arg(second);
}

QString typeLine(const Item& item)
{
    switch (item.type) {
    case 1:
    case 3:
    case 2:
        return QStringLiteral("%1,%2,%3").arg(item.type).arg(item.first).arg(item.second);
    case 4:
        return QStringLiteral("4");
    case 5:
        return QStringLiteral("5,Generic FNV");
    default:
        return QString();
    }
}

bool isGroupedKey(const QString& name)
{
    return name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'));
}

int usedWidth(const MaterialGrid& grid)
{
    int width = 0;
    for (const GridRow& row : grid.rows) {
        int firstEmpty = 0;
        while (firstEmpty < grid.columnCount && firstEmpty < row.size() && row[firstEmpty])
            ++firstEmpty;
        width = qMax(width, firstEmpty);
    }
    return width;
}

namespace {

// Lays out one material's row the way the loader fills the table, growing the grid's
// column count as it goes, and collects its catalogue records.
class RowLayout {
public:
    RowLayout(MaterialGrid& grid, const DictionaryIndex& index) : grid(grid), index(index) {}

    GridRow lay(const Material& material, QVector<CatalogueRecord>& records)
    {
        row = GridRow(VariantColumn + 1);
        // Exactly the cells the items give: the row never grows past its data.
        int cellCount = 0;
        for (const Item& item : material.items)
            cellCount +=
                item.isGlobalFlag() || !item.hasValueWord() || item.valueWord() == 0 ? 1 : 2;
        row.reserve(row.size() + cellCount);
        row[ModelIdColumn] = index.at(material.modelId);
        const QString mainShader = index.at(material.mainShader);
        if (!mainShader.isEmpty())
            row[MainShaderColumn] = mainShader;
        row[CountColumn] = QString::number(material.paramCount);
        const int width = 2 * backedCount(material) + 1;
        if (grid.columnCount < width)
            grid.columnCount = width;
        const QString variant = index.at(material.variant);
        row[VariantColumn] = variant;
        const QString fullShader = mainShader + QStringLiteral("::") + variant;

        // A material cut off by the end of the data records only the type lines of its
        // complete entries: a partial cell list must not become the shader's entry for good.
        // Neither may a record made of nothing, as written for a shader nobody had taught.
        const bool teaches = material.complete && !isBlank(material);
        if (teaches)
            records.append({QStringLiteral("Params/") + fullShader, uint(material.paramCount)});

        QStringList cells;
        cells.reserve(cellCount);
        for (const Item& item : material.items) {
            if (item.isGlobalFlag()) {
                // Runs of one flag item share one text: a row of them costs a word a cell.
                const quint32 flag = quint32(item.name) << 16 | item.type;
                if (lastFlag != flag) {
                    lastFlag = flag;
                    lastFlagText = globalFlagText(item.name, item.type);
                }
                place(lastFlagText, cells);
                continue;
            }
            const QString name = index.at(item.name);
            // The settings format reads "/" and "\\" as groups: such a name would write
            // another key, so it teaches nothing.
            if (!isGroupedKey(name))
                records.append({name, typeLine(item)});
            place(name, cells);
            if (item.hasValueWord() && item.valueWord() != 0) {
                const QString value = index.at(item.valueWord());
                place(value.isEmpty() ? QStringLiteral("Global@%1").arg(item.valueWord()) : value,
                      cells);
            }
        }
        if (teaches) {
            records.append({QStringLiteral("Shaders/") + fullShader, cells});
            QStringList flags;
            for (quint16 flag : material.flags)
                flags.append(QString::number(flag));
            records.append({QStringLiteral("Flags/") + fullShader, flags});
        }
        // Handed over, not shared: the grid's row must not copy itself when numbered.
        return std::exchange(row, GridRow());
    }

private:
    static bool isBlank(const Material& material)
    {
        for (const Item& item : material.items)
            if (!item.isGlobalFlag())
                return false;
        for (quint16 flag : material.flags)
            if (flag != 0)
                return false;
        return true;
    }

    // A count is trusted only as far as the data holds its entries: a record cut off by the
    // end of the data must not widen every row to its claim.
    static int backedCount(const Material& material)
    {
        if (material.complete)
            return material.paramCount;
        int entries = 0;
        for (const Item& item : material.items)
            entries += item.isGlobalFlag() ? 0 : 1;
        return entries;
    }

    void place(const QString& text, QStringList& cells)
    {
        if (row.size() >= grid.columnCount)
            ++grid.columnCount;
        row.append(text);
        cells.append(text);
    }

    MaterialGrid& grid;
    const DictionaryIndex& index;
    GridRow row;
    std::optional<quint32> lastFlag;
    QString lastFlagText;
};

} // namespace

LoadedLibrary layoutBlock(const Block& block)
{
    LoadedLibrary library;
    library.dictionary = block.dictionary;
    library.claimedMaterials = block.materialCount;
    library.truncated = block.truncated;
    library.lastRowCut = !block.materials.isEmpty() && !block.materials.last().complete;

    const DictionaryIndex index(block.dictionary);
    MaterialGrid& grid = library.grid;
    grid.columnCount = 15;
    grid.rows.reserve(block.materials.size());
    RowLayout layout(grid, index);
    // A key met again is not recorded again: keeping only the first keeps the records in
    // proportion to the distinct shaders and names, not to the materials.
    QVector<CatalogueRecord> records;
    QSet<QString> keys;
    for (const Material& material : block.materials) {
        grid.rows.append(layout.lay(material, records));
        for (CatalogueRecord& record : records)
            if (!keys.contains(record.key)) {
                keys.insert(record.key);
                library.records.append(std::move(record));
            }
        records.clear();
    }
    for (int r = 0; r < grid.rows.size(); ++r)
        grid.rows[r][IndexColumn] = QString::number(r);
    return library;
}

namespace {

// Counts the columns each record would take, the way RowLayout widens the grid.
class CellCounter : public BlockVisitor {
public:
    void item(const Item& item) override
    {
        cells += item.hasValueWord() && item.valueWord() != 0 ? 2 : 1;
        entries += item.isGlobalFlag() ? 0 : 1;
    }
    void material(const Material& material) override
    {
        const qint64 backed = material.complete ? material.paramCount : entries;
        columns = qMax(columns, qMax(2 * backed + 1, FirstParameterColumn + cells));
        cells = 0;
        entries = 0;
    }
    qint64 columns = 15;

private:
    qint64 cells = 0;
    qint64 entries = 0;
};

} // namespace

std::optional<TableCells> tableCells(const QByteArray& data)
{
    Block block;
    CellCounter counter;
    if (!walk(data, block, counter))
        return std::nullopt;
    TableCells need;
    need.strings = block.stringCount;
    need.rows = block.materialsRead;
    need.columns = counter.columns + 1;
    return need;
}

Refusal tooLarge(const QByteArray& data)
{
    const std::optional<TableCells> cells = tableCells(data);
    if (!cells || cells->total() <= MaxTableCells)
        return {};
    const QLocale numbers(QLocale::English);
    auto count = [&numbers](qint64 n, const char* one, const char* many) {
        return numbers.toString(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
    };
    QString materials = count(cells->rows, "material", "materials");
    // Name the width when the rows rather than the dictionary make the library too large.
    if (cells->rows * cells->columns > 3 * cells->strings)
        materials += QStringLiteral(" of ") + count(cells->columns, "column", "columns");
    return refusal(Refusal::TooLarge,
                   QStringLiteral("This library is too large to show: %1 and %2; the editor "
                                  "shows at most %3 cells.")
                       .arg(count(cells->strings, "dictionary string", "dictionary strings"),
                            materials, numbers.toString(MaxTableCells)));
}

} // namespace mtls
