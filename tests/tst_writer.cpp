// Rebuilding a block from the tables: dictionary, offsets, records, hashes, and the ways a save
// is refused. Every expected byte is written out by hand from the layout.

#include "catalogue/shadercatalogue.h"
#include "mtls/writer.h"

#include <QtTest>

using namespace mtls;

Q_DECLARE_METATYPE(mtls::MaterialGrid)
Q_DECLARE_METATYPE(mtls::WriteOptions)

namespace {

enum class Field { Name, MainShader, Variant, Parameter, Texture };

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text); // spaces and bars are only for reading
}

// nullptr stands for a cell without an item.
GridRow row(std::initializer_list<const char*> texts)
{
    GridRow cells;
    for (const char* text : texts)
        cells.append(text ? Cell(QString::fromUtf8(text)) : Cell());
    return cells;
}

MaterialGrid gridOf(std::initializer_list<GridRow> rows)
{
    MaterialGrid grid;
    for (const GridRow& cells : rows) {
        grid.rows.append(cells);
        grid.columnCount = std::max(grid.columnCount, int(cells.size()));
    }
    return grid;
}

WriteOptions options(bool isPreview)
{
    WriteOptions options;
    options.preview = isPreview;
    options.savePath = isPreview ? QString() : "D:/mods/Characters/hero_01/body.mtls";
    return options;
}

} // namespace

Q_DECLARE_METATYPE(Field)

class TestWriter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void wholeBlocks_data();
    void wholeBlocks();
    void records_data();
    void records();
    void textureHashes_data();
    void textureHashes();
    void refused_data();
    void refused();
    void stringLimit_data();
    void stringLimit();

private:
    ShaderCatalogue catalogue = ShaderCatalogue::inMemory();
};

void TestWriter::initTestCase()
{
    catalogue.record(ShaderCatalogue::flagsKey("yCS_gear::Normal"),
                     QStringList{"1", "2", "3", "4"});
    catalogue.record(ShaderCatalogue::flagsKey("s::v"), QStringList{"1", "2", "3", "4"});
    catalogue.record("colorMap", QStringLiteral("4"));
    catalogue.record("normalHash", QStringLiteral("5,Generic FNV"));
    catalogue.record("specHash", QStringLiteral("5,Generic FNV"));
    catalogue.record("tint", QStringLiteral("1,2,0"));
    catalogue.record("gloss", QStringLiteral("3,7,9"));
    catalogue.record("my param", QStringLiteral("1,7,8"));
    catalogue.record("six", QStringLiteral("6"));
    catalogue.record("p", QStringLiteral("4"));
}

void TestWriter::wholeBlocks_data()
{
    QTest::addColumn<MaterialGrid>("grid");
    QTest::addColumn<QStringList>("dictionaryColumn");
    QTest::addColumn<bool>("isPreview");
    QTest::addColumn<QByteArray>("expected");

    const MaterialGrid example =
        gridOf({row({"0", "yCS_gear", "mat", "1", "Normal", "colorMap", "tex_d"})});
    const QStringList loaded{"mat", "yCS_gear", "Normal", "colorMap", "tex_d"};
    const char* body = "6D 61 74 00 | 79 43 53 5F 67 65 61 72 00 | 4E 6F 72 6D 61 6C 00 |"
                       "63 6F 6C 6F 72 4D 61 70 00 | 74 65 78 5F 64 00 | 00 |"
                       "01 00 00 00 | 00 00 04 00 | 01 00 0D 00 | 02 00 03 00 04 00 | 00 00 |"
                       "01 00 | 14 00 04 00 1D 00 00 00";
    QTest::newRow("example saved unchanged")
        << example << loaded << false
        << hex(QByteArray("4D 54 4C 73 05 00 00 00 23 00 00 00") + body);
    // The trailing "" takes the padding byte, so only S changes.
    QTest::newRow("example preview")
        << example << loaded << true
        << hex(QByteArray("4D 54 4C 73 05 00 00 00 24 00 00 00") + body);
    // Without a loaded dictionary the walk order decides: main shader before name.
    QTest::newRow("S = 5, three padding bytes")
        << gridOf({row({"0", "sh", "m", "0", "m"})}) << QStringList() << false
        << hex("4D 54 4C 73 05 00 00 00 05 00 00 00 | 73 68 00 6D 00 | 00 00 00 | 01 00 00 00 |"
               "03 00 00 00 00 00 03 00 00 00 00 00 00 00 | 00 00 | 00 00");
    // U+00FC is two bytes in UTF-8: every later offset and S move by 3, not by 2.
    QTest::newRow("S = 8, no padding, non-ASCII string")
        << gridOf({row({"0", "s", "m", "0", ""})}) << QStringList{"\u00FC"} << false
        << hex("4D 54 4C 73 05 00 00 00 08 00 00 00 | C3 BC 00 73 00 6D 00 00 | 01 00 00 00 |"
               "05 00 03 00 00 00 07 00 00 00 00 00 00 00 | 00 00 | 00 00");
    // The second record starts 2 bytes past a multiple of 4 and so gets no padding.
    QTest::newRow("two records, two phases")
        << gridOf({row({"0", "s", "m", "1", "v", "tint"}), row({"1", "s", "n", "0", "v"})})
        << QStringList() << false
        << hex("4D 54 4C 73 05 00 00 00 0D 00 00 00 |"
               "73 00 6D 00 76 00 74 69 6E 74 00 6E 00 | 00 00 00 | 02 00 00 00 |"
               "02 00 00 00 01 00 04 00 02 00 03 00 04 00 | 00 00 | 01 00 | 06 00 01 00 02 00 00 "
               "00 |"
               "0B 00 00 00 01 00 04 00 02 00 03 00 04 00 | 00 00");
}

void TestWriter::wholeBlocks()
{
    QFETCH(MaterialGrid, grid);
    QFETCH(QStringList, dictionaryColumn);
    QFETCH(bool, isPreview);
    QFETCH(QByteArray, expected);
    const WriteResult result = writeLibrary(grid, dictionaryColumn, catalogue, options(isPreview));
    QCOMPARE(result.outcome, WriteResult::Written);
    QCOMPARE(result.bytes.toHex(' '), expected.toHex(' '));
}

// One material each; `record` is every byte from the start of its record to the end of the
// block (the record always lies 4 bytes past the material count, so it gets 2 padding bytes).
void TestWriter::records_data()
{
    QTest::addColumn<MaterialGrid>("grid");
    QTest::addColumn<QStringList>("dictionaryColumn");
    QTest::addColumn<bool>("isPreview");
    QTest::addColumn<QStringList>("dictionary");
    QTest::addColumn<QByteArray>("record");

    const QByteArray head = "02 00 00 00 01 00 04 00 02 00 03 00 04 00 | 00 00"; // m, s, v
    QTest::newRow("loaded dictionary first, duplicates and unused kept")
        << gridOf({row({"0", "s", "x", "0", "v"})}) << QStringList{"x", "x", "unused", "m"} << false
        << QStringList{"x", "x", "unused", "m", "s", "v"}
        << hex("00 00 0D 00 01 00 0F 00 02 00 03 00 04 00 | 00 00 | 00 00");
    QTest::newRow("cells differing by spaces share an entry")
        << gridOf({row({"0", "a b", "ab ", "0", " v"})}) << QStringList() << false
        << QStringList{"ab", "v"}
        << hex("00 00 00 00 00 00 03 00 00 00 00 00 00 00 | 00 00 | 00 00");
    QTest::newRow("parameter name with spaces is added as it stands")
        << gridOf({row({"0", "s", "m", "1", "v", "my param"})}) << QStringList() << false
        << QStringList{"s", "m", "v", "myparam", "my param"}
        << hex(head + "01 00 | 0E 00 01 00 07 00 08 00");
    // A texture value cell with "Global" is written as the text "".
    QTest::newRow("global cells neither written nor counted")
        << gridOf({row({"0", "s", "m", "2", "v", "Global@ShaderFlag0-16256", "tint", "Global@123",
                        "colorMap", "Global@77"})})
        << QStringList() << false << QStringList{"s", "m", "v", "tint", "colorMap", ""}
        << hex(head + "02 00 | 06 00 01 00 02 00 00 00 | 0B 00 04 00 14 00 00 00");
    QTest::newRow("global value of a texture: first empty text of the dictionary")
        << gridOf({row({"0", "s", "m", "1", "v", "colorMap", "Global@77"})}) << QStringList{""}
        << false << QStringList{"", "s", "m", "v", "colorMap"}
        << hex("03 00 01 00 01 00 05 00 02 00 03 00 04 00 | 00 00 | 01 00 | 07 00 04 00 00 00 "
               "00 00");
    QTest::newRow("missing main shader reads as empty")
        << gridOf({row({"0", nullptr, "m", "0", "v"})}) << QStringList() << false
        << QStringList{"m", "v", ""}
        << hex("00 00 04 00 00 00 02 00 00 00 00 00 00 00 | 00 00 | 00 00");
    QTest::newRow("shown value after a type 1 entry is skipped")
        << gridOf({row({"0", "s", "m", "2", "v", "tint", "12", "colorMap", "tex"})})
        << QStringList() << false << QStringList{"s", "m", "v", "tint", "12", "colorMap", "tex"}
        << hex(head + "02 00 | 06 00 01 00 02 00 00 00 | 0E 00 04 00 17 00 00 00");
    QTest::newRow("name with a type line after a type 1 entry is a parameter")
        << gridOf({row({"0", "s", "m", "2", "v", "tint", "gloss"})}) << QStringList() << false
        << QStringList{"s", "m", "v", "tint", "gloss"}
        << hex(head + "02 00 | 06 00 01 00 02 00 00 00 | 0B 00 03 00 07 00 09 00");
    QTest::newRow("missing flags read as zero")
        << gridOf({row({"0", "other", "m", "0", "v"})}) << QStringList() << false
        << QStringList{"other", "m", "v"}
        << hex("06 00 00 00 00 00 08 00 00 00 00 00 00 00 | 00 00 | 00 00");
    QTest::newRow("preview drops a two-row dictionary column")
        << gridOf({row({"0", "s", "m", "0", "v"})}) << QStringList{"a", "b"} << true
        << QStringList{"s", "m", "v", ""} << hex(head + "00 00");
}

void TestWriter::records()
{
    QFETCH(MaterialGrid, grid);
    QFETCH(QStringList, dictionaryColumn);
    QFETCH(bool, isPreview);
    QFETCH(QStringList, dictionary);
    QFETCH(QByteArray, record);
    const WriteResult result = writeLibrary(grid, dictionaryColumn, catalogue, options(isPreview));
    QCOMPARE(result.outcome, WriteResult::Written);
    QCOMPARE(result.dictionary, dictionary);
    QCOMPARE(result.bytes.right(record.size() + 4).toHex(' '),
             (hex("01 00 00 00") + record).toHex(' '));
}

void TestWriter::textureHashes_data()
{
    QTest::addColumn<WriteOptions>("options");
    QTest::addColumn<QByteArray>("plainHash");   // texture directory + ".tex"
    QTest::addColumn<QByteArray>("textureHash"); // texture directory + "Hero_01_D.tex"
    QTest::addColumn<QStringList>("debugLines");

    const QStringList lines{"CACHE: ", "CACHE: Hero_01_D", "CACHE: Hero_01_D", "CACHE: "};
    // characters/hero_01/textures/.tex and characters/hero_01/textures/hero_01_d.tex
    QTest::newRow("Characters folder") << options(false) << hex("6D 61 33 98 08 6C 08 DC")
                                       << hex("28 FA FB 83 A4 FF 24 46") << lines;
    QTest::newRow("preview") << options(true) << hex("AD DE AD DE 00 00 00 00")
                             << hex("AD DE AD DE 00 00 00 00") << QStringList();
}

void TestWriter::textureHashes()
{
    QFETCH(WriteOptions, options);
    QFETCH(QByteArray, plainHash);
    QFETCH(QByteArray, textureHash);
    QFETCH(QStringList, debugLines);

    // The second material starts again without a texture.
    const MaterialGrid grid = gridOf({row({"0", "s", "m", "4", "v", "normalHash", "colorMap",
                                           "Hero_01_D", "normalHash", "specHash"}),
                                      row({"1", "s", "n", "1", "v", "normalHash"})});
    const WriteResult result = writeLibrary(grid, QStringList(), catalogue, options);
    QCOMPARE(result.outcome, WriteResult::Written);

    // s 0, m 2, v 4, normalHash 6, colorMap 17, Hero_01_D 26, specHash 36, n 45: S = 47.
    const QByteArray expected =
        hex("02 00 00 00 01 00 04 00 02 00 03 00 04 00 | 00 00 | 04 00 | 06 00 05 00") + plainHash +
        hex("11 00 04 00 1A 00 00 00 | 06 00 05 00") + textureHash + hex("24 00 05 00") +
        textureHash + hex("2D 00 00 00 01 00 04 00 02 00 03 00 04 00 | 01 00 | 06 00 05 00") +
        plainHash;
    QCOMPARE(result.bytes.mid(12 + 48 + 4).toHex(' '), expected.toHex(' '));
    QCOMPARE(result.hashDebugLines, debugLines);
}

void TestWriter::refused_data()
{
    QTest::addColumn<MaterialGrid>("grid");
    QTest::addColumn<QString>("message");

    QTest::newRow("no type line") << gridOf({row({"0", "s", "m", "1", "v", "unknown"})})
                                  << "Unknown parameter type: unknown";
    QTest::newRow("type 6, second material")
        << gridOf({row({"0", "s", "m", "1", "v", "normalHash"}),
                   row({"1", "s", "m", "2", "v", "colorMap", "tex", "six"})})
        << "Unknown parameter type: six";
    QTest::newRow("count beyond the cells")
        << gridOf({row({"0", "s", "m", "3", "v", "tint"})}) << "Unknown parameter type: ";
}

void TestWriter::refused()
{
    QFETCH(MaterialGrid, grid);
    QFETCH(QString, message);
    for (const bool isPreview : {false, true}) {
        const WriteResult result = writeLibrary(grid, QStringList(), catalogue, options(isPreview));
        QCOMPARE(result.outcome, WriteResult::Refused);
        QCOMPARE(result.message, message);
        QVERIFY(result.bytes.isEmpty());
        QVERIFY(result.hashDebugLines.isEmpty());
    }
}

// The field under test gets the one text that the dictionary column lacks, so the walk puts it
// right after a filler sized to land it on `offset`.
void TestWriter::stringLimit_data()
{
    QTest::addColumn<Field>("field");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("position"); // where the field lies in the block; 0: refused

    // S = offset + 2: the record starts at 12 + S rounded up + 4.
    const int at65534 = 12 + 65536 + 4;
    const int beyond = 12 + 65540 + 4;
    QTest::newRow("name at 65534") << Field::Name << 65534 << at65534;
    QTest::newRow("name at 65535") << Field::Name << 65535 << 0;
    QTest::newRow("main shader at 65534") << Field::MainShader << 65534 << at65534 + 2;
    QTest::newRow("main shader at 65535") << Field::MainShader << 65535 << 0;
    QTest::newRow("variant at 65535") << Field::Variant << 65535 << beyond + 6;
    QTest::newRow("variant at 65536") << Field::Variant << 65536 << 0;
    QTest::newRow("parameter name at 65536") << Field::Parameter << 65536 << 0;
    QTest::newRow("texture at 65535") << Field::Texture << 65535 << beyond + 22;
    QTest::newRow("texture at 65536") << Field::Texture << 65536 << 0;
}

void TestWriter::stringLimit()
{
    QFETCH(Field, field);
    QFETCH(int, offset);
    QFETCH(int, position);

    QStringList dictionaryColumn{"m", "s", "v", "p", "t"}; // in the order of Field
    dictionaryColumn.removeAt(int(field));
    dictionaryColumn.append(QString(offset - 2 * 4 - 1, QLatin1Char('a')));
    const WriteResult result = writeLibrary(gridOf({row({"0", "s", "m", "1", "v", "p", "t"})}),
                                            dictionaryColumn, catalogue, options(false));
    if (position == 0) {
        QCOMPARE(result.outcome, WriteResult::StringLimit);
        QCOMPARE(result.message, QStringLiteral("String Limit Reached"));
        QVERIFY(result.bytes.isEmpty());
        return;
    }
    QCOMPARE(result.outcome, WriteResult::Written);
    QCOMPARE(result.bytes.mid(position, 2), offset == 65534 ? hex("FE FF") : hex("FF FF"));
}

QTEST_GUILESS_MAIN(TestWriter)
#include "tst_writer.moc"
