// How a decoded block is laid out into the two tables and what it tells the catalogue.
#include "mtls/library.h"
#include "support/core/blockbuilder.h"

#include <QtTest>

using namespace mtls;
using namespace testdata;

namespace {

LoadedLibrary load(const QByteArray& bytes)
{
    const auto block = decode(bytes);
    if (!block)
        qFatal("test block does not decode");
    return layoutBlock(*block);
}

GridRow cells(std::initializer_list<const char*> texts)
{
    GridRow row;
    for (const char* text : texts)
        row.append(text ? Cell(QString::fromUtf8(text)) : Cell());
    return row;
}

// "key=value" per record, in order; list values joined with "|", a missing value as "?".
QStringList records(const LoadedLibrary& library)
{
    QStringList lines;
    for (const CatalogueRecord& record : library.records) {
        const QVariant& value = record.value;
        lines.append(record.key + "=" +
                     (!value.isValid()                             ? QStringLiteral("?")
                      : value.userType() == QMetaType::QStringList ? value.toStringList().join('|')
                                                                   : value.toString()));
    }
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(QVector<mtls::GridRow>)

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void workedExample()
    {
        const LoadedLibrary library = load(exampleBlock());
        QCOMPARE(library.grid.rows, QVector<GridRow>{cells({"0", "yCS_gear", "mat", "1", "Normal",
                                                            "colorMap", "tex_d"})});
        QCOMPARE(library.grid.columnCount, 15);
        QCOMPARE(records(library), (QStringList{"Params/yCS_gear::Normal=1", "colorMap=4",
                                                "Shaders/yCS_gear::Normal=colorMap|tex_d",
                                                "Flags/yCS_gear::Normal=1|2|3|4"}));
    }

    void richBlockRowsAndRecords()
    {
        const LoadedLibrary library = load(richBlock());
        // Type 4 takes two cells; type 1 whose value starts no string shows "Global@7"; the
        // global flag items one cell each; type 2 shows the low word of its first value; type 5
        // one cell; the 6-byte entry its value word. The second material has no main shader
        // item, an empty variant, and a zero value word that takes one cell.
        const QVector<GridRow> rows{
            cells({"0", "yCS_head", "mat", "5", "Normal", "colorMap", "tex_d", "gain", "Global@7",
                   "Global@ShaderFlag0-0", "Global@ShaderFlag0-16256", "Global@ShaderFlag0-0",
                   "tint", "Global@30600", "hashA", "odd", "Global@3"}),
            cells({"1", nullptr, "Schön_ä", "2", "", "coverMap", "other", "Global@1"}),
            cells({"2", "yCS_head", "other", "0", "Normal"})};
        QCOMPARE(library.grid.rows, rows);
        QCOMPARE(library.grid.columnCount, 17); // two cells past the 15th added one each
        // Global flag items record no type line; an empty main shader puts "::" right after
        // the prefix; the third material's keys are the first's, which the catalogue keeps
        // because it writes only absent keys: they are not recorded again.
        const QString firstCells = "colorMap|tex_d|gain|Global@7|Global@ShaderFlag0-0|"
                                   "Global@ShaderFlag0-16256|Global@ShaderFlag0-0|tint|"
                                   "Global@30600|hashA|odd|Global@3";
        QCOMPARE(
            records(library),
            (QStringList{"Params/yCS_head::Normal=5", "colorMap=4", "gain=1,7,9",
                         "tint=2,1234605616436508552,42", "hashA=5,Generic FNV",
                         "odd=", "Shaders/yCS_head::Normal=" + firstCells,
                         "Flags/yCS_head::Normal=1|2|3|4", "Params/::=2", "coverMap=3,0,5",
                         "other=4", "Shaders/::=coverMap|other|Global@1", "Flags/::=9|0|0|65535"}));
    }

    void columnCountGrowsWithParameters()
    {
        // N = 9 raises 15 columns to 19 even though the entries take fewer cells.
        RawMaterial m;
        m.count = 9;
        m.items.fill(entry5(2, 0), 9);
        const LoadedLibrary library = load(buildBlock({"m", "p"}, {m}));
        QCOMPARE(library.grid.columnCount, 19);
        QCOMPARE(library.grid.rows.value(0).size(), 14);
    }

    void usedWidth_data()
    {
        QTest::addColumn<QVector<GridRow>>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("width");
        QTest::newRow("no rows") << QVector<GridRow>{} << 15 << 0;
        QTest::newRow("no main shader")
            << QVector<GridRow>{cells({"0", nullptr, "a", "0", "v", "p"})} << 15 << 1;
        QTest::newRow("widest row wins")
            << QVector<GridRow>{cells({"0", "s", "a", "0", "v"}),
                                cells({"1", "s", "b", "1", "v", "p", "q"})}
            << 15 << 7;
        QTest::newRow("full row") << QVector<GridRow>{cells({"0", "s", "a", "0", "v", "p"})} << 6
                                  << 6;
    }
    void usedWidth()
    {
        QFETCH(QVector<GridRow>, rows);
        QFETCH(int, columns);
        QFETCH(int, width);
        MaterialGrid grid;
        grid.rows = rows;
        grid.columnCount = columns;
        QCOMPARE(mtls::usedWidth(grid), width);
    }

    void truncatedMaterialKeepsItsCells()
    {
        // Cut inside the third entry of the first material: the row keeps the cells of the two
        // complete entries and the catalogue learns only their type lines.
        const QByteArray whole = richBlock();
        const qint64 cut = decode(whole)->materials[0].items[2].blockOffset + 2;
        const LoadedLibrary library = load(whole.left(int(cut)));
        QVERIFY(library.truncated);
        QCOMPARE(library.claimedMaterials, 3u);
        QCOMPARE(library.grid.rows,
                 QVector<GridRow>{cells({"0", "yCS_head", "mat", "5", "Normal", "colorMap", "tex_d",
                                         "gain", "Global@7"})});
        QCOMPARE(records(library), (QStringList{"colorMap=4", "gain=1,7,9"}));
    }
};

QTEST_GUILESS_MAIN(TestLayout)
#include "tst_layout.moc"
