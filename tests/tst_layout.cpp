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

QVariant recordOf(const LoadedLibrary& library, const QString& key)
{
    for (const CatalogueRecord& record : library.records)
        if (record.key == key)
            return record.value;
    return QVariant();
}

} // namespace

Q_DECLARE_METATYPE(QVector<mtls::GridRow>)

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void workedExample();
    void richRows();
    void richRecords();
    void columnCountGrowsWithParameters();
    void usedWidth_data();
    void usedWidth();
    void noMaterials();
    void truncatedMaterialKeepsItsCells();
    void dictionaryIndex();
};

void TestLayout::workedExample()
{
    const LoadedLibrary library = load(exampleBlock());
    const QVector<DictionaryEntry> dictionary{
        {"mat", 0}, {"yCS_gear", 4}, {"Normal", 13}, {"colorMap", 20}, {"tex_d", 29}};
    QCOMPARE(library.dictionary, dictionary);
    QCOMPARE(library.claimedMaterials, 1u);
    QCOMPARE(library.grid.rows.size(), 1);
    QCOMPARE(library.grid.rows[0],
             cells({"0", "yCS_gear", "mat", "1", "Normal", "colorMap", "tex_d"}));
    QCOMPARE(library.grid.columnCount, 15);
    QCOMPARE(mtls::usedWidth(library.grid), 7);

    QCOMPARE(library.records.size(), 4);
    QCOMPARE(library.records[0].key, QStringLiteral("Params/yCS_gear::Normal"));
    QCOMPARE(library.records[0].value.toUInt(), 1u);
    QCOMPARE(library.records[1].key, QStringLiteral("colorMap"));
    QCOMPARE(library.records[1].value.toString(), QStringLiteral("4"));
    QCOMPARE(library.records[2].key, QStringLiteral("Shaders/yCS_gear::Normal"));
    QCOMPARE(library.records[2].value.toStringList(), (QStringList{"colorMap", "tex_d"}));
    QCOMPARE(library.records[3].key, QStringLiteral("Flags/yCS_gear::Normal"));
    QCOMPARE(library.records[3].value.toStringList(), (QStringList{"1", "2", "3", "4"}));
}

void TestLayout::richRows()
{
    const LoadedLibrary library = load(richBlock());
    QCOMPARE(library.grid.rows.size(), 3);
    // Type 4 takes two cells; type 1 whose value starts no string shows "Global@7"; the
    // global flag items one cell each; type 2 shows the low word of its first value; type 5
    // one cell; the 6-byte entry its value word.
    QCOMPARE(library.grid.rows[0],
             cells({"0", "yCS_head", "mat", "5", "Normal", "colorMap", "tex_d", "gain", "Global@7",
                    "Global@ShaderFlag0-0", "Global@ShaderFlag0-16256", "Global@ShaderFlag0-0",
                    "tint", "Global@30600", "hashA", "odd", "Global@3"}));
    // No main shader item, an empty variant, a zero value word takes one cell.
    QCOMPARE(library.grid.rows[1],
             cells({"1", nullptr, "Schön_ä", "2", "", "coverMap", "other", "Global@1"}));
    QCOMPARE(library.grid.rows[2], cells({"2", "yCS_head", "other", "0", "Normal"}));
    // Row 0 fills 17 columns: the two cells past the 15th each added one.
    QCOMPARE(library.grid.columnCount, 17);
}

void TestLayout::richRecords()
{
    const LoadedLibrary library = load(richBlock());
    QCOMPARE(recordOf(library, "gain").toString(), QStringLiteral("1,7,9"));
    QCOMPARE(recordOf(library, "tint").toString(), QStringLiteral("2,1234605616436508552,42"));
    QCOMPARE(recordOf(library, "hashA").toString(), QStringLiteral("5,Generic FNV"));
    QCOMPARE(recordOf(library, "odd").toString(), QString());
    QVERIFY(recordOf(library, "odd").isValid());
    QCOMPARE(recordOf(library, "coverMap").toString(), QStringLiteral("3,0,5"));
    // Global flag items record no type line of their own.
    for (const CatalogueRecord& record : library.records)
        QVERIFY(!record.key.contains("Global"));
    // An empty main shader puts "::" right after the prefix.
    QCOMPARE(recordOf(library, "Params/::").toUInt(), 2u);
    QCOMPARE(recordOf(library, "Flags/::").toStringList(), (QStringList{"9", "0", "0", "65535"}));
    QCOMPARE(recordOf(library, "Shaders/yCS_head::Normal").toStringList(),
             (QStringList{"colorMap", "tex_d", "gain", "Global@7", "Global@ShaderFlag0-0",
                          "Global@ShaderFlag0-16256", "Global@ShaderFlag0-0", "tint",
                          "Global@30600", "hashA", "odd", "Global@3"}));
    // The third material uses the same shader with N = 0: its records come later, so the
    // first material's stay (the catalogue writes only absent keys).
    int paramsRecords = 0;
    for (const CatalogueRecord& record : library.records)
        paramsRecords += record.key == "Params/yCS_head::Normal";
    QCOMPARE(paramsRecords, 2);
    QCOMPARE(recordOf(library, "Params/yCS_head::Normal").toUInt(), 5u);
}

void TestLayout::columnCountGrowsWithParameters()
{
    // N = 9 raises 15 columns to 19 even though the entries take fewer cells.
    RawMaterial m;
    m.count = 9;
    for (int i = 0; i < 9; ++i)
        m.items.append(entry5(2, 0));
    const LoadedLibrary library = load(buildBlock({"m", "p"}, {m}));
    QCOMPARE(library.grid.columnCount, 19);
    QCOMPARE(library.grid.rows[0].size(), 14);
}

void TestLayout::usedWidth_data()
{
    QTest::addColumn<QVector<GridRow>>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("width");
    QTest::newRow("no rows") << QVector<GridRow>{} << 15 << 0;
    QTest::newRow("no main shader anywhere")
        << QVector<GridRow>{cells({"0", nullptr, "a", "0", "v", "p"})} << 15 << 1;
    QTest::newRow("widest row wins") << QVector<GridRow>{cells({"0", "s", "a", "0", "v"}),
                                                         cells({"1", "s", "b", "1", "v", "p", "q"})}
                                     << 15 << 7;
    QTest::newRow("full row counts the columns")
        << QVector<GridRow>{cells({"0", "s", "a", "0", "v", "p"})} << 6 << 6;
}

void TestLayout::usedWidth()
{
    QFETCH(QVector<GridRow>, rows);
    QFETCH(int, columns);
    QFETCH(int, width);
    MaterialGrid grid;
    grid.rows = rows;
    grid.columnCount = columns;
    QCOMPARE(mtls::usedWidth(grid), width);
}

void TestLayout::noMaterials()
{
    const LoadedLibrary library = load(buildBlock({"a"}, {}));
    QVERIFY(library.grid.rows.isEmpty());
    QCOMPARE(library.claimedMaterials, 0u);
    QVERIFY(library.records.isEmpty());
    QCOMPARE(library.dictionary.size(), 1);
}

void TestLayout::truncatedMaterialKeepsItsCells()
{
    // Cut inside the third entry of the first rich material: the row keeps the cells of the
    // two complete entries and the catalogue learns only their type lines.
    const QByteArray whole = richBlock();
    const auto block = decode(whole);
    const qint64 cut = block->materials[0].items[2].blockOffset + 2;
    const LoadedLibrary library = load(whole.left(int(cut)));
    QVERIFY(library.truncated);
    QCOMPARE(library.claimedMaterials, 3u);
    QCOMPARE(library.grid.rows.size(), 1);
    QCOMPARE(library.grid.rows[0], cells({"0", "yCS_head", "mat", "5", "Normal", "colorMap",
                                          "tex_d", "gain", "Global@7"}));
    QStringList keys;
    for (const CatalogueRecord& record : library.records)
        keys.append(record.key);
    QCOMPARE(keys, (QStringList{"colorMap", "gain"}));
}

void TestLayout::dictionaryIndex()
{
    const DictionaryIndex index({{"mat", 0}, {"", 4}, {"tex", 5}});
    QCOMPARE(index.at(0), QStringLiteral("mat"));
    QCOMPARE(index.at(5), QStringLiteral("tex"));
    QCOMPARE(index.at(1), QString()); // inside a string
    QCOMPARE(index.at(9), QString()); // past the last one
    QCOMPARE(DictionaryIndex().at(0), QString());
}

QTEST_GUILESS_MAIN(TestLayout)
#include "tst_layout.moc"
