#pragma once
// What the two tables of the window hold, as plain values: the dictionary rows and the
// materials grid in the base layout (no swap column), and the rules that lay a decoded
// block out into them.

#include "mtls/block.h"
#include "mtls/refusal.h"

#include <QHash>
#include <QVariant>
#include <optional>

namespace mtls {

using Cell = std::optional<QString>; // a cell without an item is nullopt
using GridRow = QVector<Cell>;

// Base layout columns of the materials table.
enum Column {
    IndexColumn = 0,
    MainShaderColumn = 1,
    ModelIdColumn = 2,
    CountColumn = 3,
    VariantColumn = 4,
    FirstParameterColumn = 5
};

struct MaterialGrid {
    QVector<GridRow> rows;
    int columnCount = 0;

    // The text of a cell, "" when it has no item or lies past its row.
    QString text(int row, int column) const;
    bool operator==(const MaterialGrid& o) const
    {
        return rows == o.rows && columnCount == o.columnCount;
    }
};

// Offset -> string for one dictionary. Answers exactly what a scan of the dictionary table
// from the top would (offsets strictly increase, so the first match is the only one). It
// searches the entries it shares with the block: a million strings cost no extra memory.
class DictionaryIndex {
public:
    DictionaryIndex() = default;
    explicit DictionaryIndex(const QVector<DictionaryEntry>& entries);
    // The string starting at `offset`: "" (or nothing, from find) when none starts there.
    QString at(quint32 offset) const { return find(offset).value_or(QString()); }
    std::optional<QString> find(quint32 offset) const;

private:
    QVector<DictionaryEntry> entries;
};

// One record-if-absent write to the shader catalogue, in the order the load meets it.
struct CatalogueRecord {
    QString key;
    QVariant value;
};

struct LoadedLibrary {
    QVector<DictionaryEntry> dictionary;
    MaterialGrid grid;            // base layout, column 0 holds the row numbers
    quint32 claimedMaterials = 0; // M from the header
    bool truncated = false;
    bool lastRowCut =
        false; // the last row is a material the end of the data cut: shown, never saved
    QVector<CatalogueRecord> records;
    QString textureNotice; // where the texture hashes point, for the status bar ("" for none)
    QByteArray source;     // the bytes the editor's load read, to tell what a save changes
};

// The loader's cell rules: one row per material that could be read, the column count grown
// as the loader grows it (4, then 15, then 2N+1, then one per cell past the last column).
// The N of a material cut off by the end of the data counts only with the entries read.
// Each catalogue key is recorded once, with the value the load meets first.
LoadedLibrary layoutBlock(const Block& block);

// Cells the window's two tables take for a library: three per dictionary string, and one per
// column of the materials table (the swap column included) in every row.
struct TableCells {
    qint64 strings = 0;
    qint64 rows = 0;
    qint64 columns = 0; // of the materials table, swap column included
    qint64 total() const { return 3 * strings + rows * columns; }
};

// The editor shows a library whole or not at all, and not when it needs more cells than
// this: 100,000 materials of ten parameters with their dictionary fit, while real libraries
// hold a few hundred materials.
constexpr qint64 MaxTableCells = 3000000;

// What layoutBlock would lay out for `data`, counted in one pass that keeps no string and
// no record. Nothing when the data is not an MTLs block.
std::optional<TableCells> tableCells(const QByteArray& data);
// "This library is too large to show: ..." (TooLarge) when `data` needs more than
// MaxTableCells. The editor and every mtls command that reads a library whole refuse it so.
Refusal tooLarge(const QByteArray& data);

// Cell text of a global shader flag item: "Global@ShaderFlag<first>-<second>".
QString globalFlagText(quint16 first, quint16 second);

// Type line of an entry as the catalogue records it ("1,a,b", "2,x,y", "4", "5,Generic FNV",
// "" for any other type).
QString typeLine(const Item& item);

// Whether a parameter name holds "/" or "\\", which the catalogue's settings format reads as
// groups: such a name never has a type line.
bool isGroupedKey(const QString& name);

// Used width W of the grid as formatTable counts it: per row the first column without an
// item (the column count when every column has one), the largest over all rows, 0 when the
// grid has no rows.
int usedWidth(const MaterialGrid& grid);

} // namespace mtls
