// Rebuilding a block from the tables: dictionary, offsets, records, hashes, and the ways a save
// is refused. Every expected byte is written out by hand from the layout.

#include "catalogue/shadercatalogue.h"
#include "mtls/writer.h"

#include <QtTest>

using namespace mtls;

Q_DECLARE_METATYPE(mtls::MaterialGrid)
Q_DECLARE_METATYPE(mtls::WriteOptions)

namespace {

enum class Field { Name, MainShader, Variant, Parameter, Texture, MissingMainShader };

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

WriteOptions saveTo(const QString& path)
{
    WriteOptions options;
    options.savePath = path;
    return options;
}

WriteOptions preview()
{
    WriteOptions options;
    options.preview = true;
    return options;
}

const QString CharactersPath = QStringLiteral("D:/mods/Characters/hero_01/body.mtls");
const QString PropsPath = QStringLiteral("D:/mods/Props/body.mtls");

} // namespace

Q_DECLARE_METATYPE(Field)

class TestWriter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void exampleBlock_data();
    void exampleBlock();
    void smallBlocks_data();
    void smallBlocks();
    void records_data();
    void records();
    void textureHashes_data();
    void textureHashes();
    void refused_data();
    void refused();
    void stringLimit_data();
    void stringLimit();
    void stringLimitKeepsEarlierDebugLines();

private:
    ShaderCatalogue catalogue = ShaderCatalogue::inMemory();
};

void TestWriter::initTestCase()
{
    const QStringList flags{"1", "2", "3", "4"};
    catalogue.record(ShaderCatalogue::flagsKey("yCS_gear::Normal"), flags);
    catalogue.record(ShaderCatalogue::flagsKey("s::v"), flags);
    catalogue.record(ShaderCatalogue::flagsKey("short::v"), QStringList{"7"});
    catalogue.record(ShaderCatalogue::flagsKey("junk::v"), QStringList{"x", "65537", "3", "-1"});

    catalogue.record("colorMap", QStringLiteral("4"));
    catalogue.record("normalHash", QStringLiteral("5,Generic FNV"));
    catalogue.record("specHash", QStringLiteral("5,Generic FNV"));
    catalogue.record("tint", QStringLiteral("1,2,0"));
    catalogue.record("gloss", QStringLiteral("3,7,9"));
    catalogue.record("matrix", QStringLiteral("2,0,0"));
    catalogue.record("my param", QStringLiteral("1,7,8"));
    catalogue.record("short1", QStringLiteral("1"));
    catalogue.record("half1", QStringLiteral("1,5"));
    catalogue.record("junk1", QStringLiteral("1,x,9"));
    catalogue.record("zero", QStringLiteral("0"));
    catalogue.record("six", QStringLiteral("6"));
    catalogue.record("odd", QString(""));
}

void TestWriter::exampleBlock_data()
{
    QTest::addColumn<QStringList>("dictionaryColumn");
    QTest::addColumn<bool>("isPreview");
    QTest::addColumn<QByteArray>("expected");

    const QStringList loaded{"mat", "yCS_gear", "Normal", "colorMap", "tex_d"};
    const char* body = "6D 61 74 00 | 79 43 53 5F 67 65 61 72 00 | 4E 6F 72 6D 61 6C 00 |"
                       "63 6F 6C 6F 72 4D 61 70 00 | 74 65 78 5F 64 00 | 00 |"
                       "01 00 00 00 | 00 00 04 00 | 01 00 0D 00 | 02 00 03 00 04 00 | 00 00 |"
                       "01 00 | 14 00 04 00 1D 00 00 00";
    QTest::newRow("saved unchanged")
        << loaded << false << hex(QByteArray("4D 54 4C 73 05 00 00 00 23 00 00 00") + body);
    // The trailing "" takes the padding byte, so only S changes.
    QTest::newRow("preview") << loaded << true
                             << hex(QByteArray("4D 54 4C 73 05 00 00 00 24 00 00 00") + body);
    // Without a loaded dictionary the walk order decides: main shader before name.
    QTest::newRow("fresh window")
        << QStringList() << false
        << hex("4D 54 4C 73 05 00 00 00 23 00 00 00 |"
               "79 43 53 5F 67 65 61 72 00 | 6D 61 74 00 | 4E 6F 72 6D 61 6C 00 |"
               "63 6F 6C 6F 72 4D 61 70 00 | 74 65 78 5F 64 00 | 00 |"
               "01 00 00 00 | 09 00 00 00 | 01 00 0D 00 | 02 00 03 00 04 00 | 00 00 |"
               "01 00 | 14 00 04 00 1D 00 00 00");
}

void TestWriter::exampleBlock()
{
    QFETCH(QStringList, dictionaryColumn);
    QFETCH(bool, isPreview);
    QFETCH(QByteArray, expected);

    const MaterialGrid grid =
        gridOf({row({"0", "yCS_gear", "mat", "1", "Normal", "colorMap", "tex_d"})});
    const WriteResult result = writeLibrary(grid, dictionaryColumn, catalogue,
                                            isPreview ? preview() : saveTo(CharactersPath));
    QCOMPARE(result.outcome, WriteResult::Written);
    QCOMPARE(result.bytes.size(), 78);
    QCOMPARE(result.bytes.toHex(' '), expected.toHex(' '));
    QVERIFY(result.message.isEmpty());
    QVERIFY(result.hashDebugLines.isEmpty());
}

void TestWriter::smallBlocks_data()
{
    QTest::addColumn<MaterialGrid>("grid");
    QTest::addColumn<QStringList>("dictionaryColumn");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("S = 5, three padding bytes")
        << gridOf({row({"0", "sh", "m", "0", "m"})}) << QStringList()
        << hex("4D 54 4C 73 05 00 00 00 05 00 00 00 | 73 68 00 6D 00 | 00 00 00 | 01 00 00 00 |"
               "03 00 00 00 00 00 03 00 00 00 00 00 00 00 | 00 00 | 00 00");
    QTest::newRow("S = 8, no padding")
        << gridOf({row({"0", "abc", "m", "0", "v"})}) << QStringList()
        << hex("4D 54 4C 73 05 00 00 00 08 00 00 00 | 61 62 63 00 6D 00 76 00 | 01 00 00 00 |"
               "04 00 00 00 00 00 06 00 00 00 00 00 00 00 | 00 00 | 00 00");
    // U+00FC is two bytes in UTF-8: every later offset and S move by 3, not by 2.
    QTest::newRow("non-ASCII string")
        << gridOf({row({"0", "s", "m", "0", "v"})}) << QStringList{"\u00FC"}
        << hex("4D 54 4C 73 05 00 00 00 09 00 00 00 | C3 BC 00 73 00 6D 00 76 00 | 00 00 00 |"
               "01 00 00 00 |"
               "05 00 03 00 01 00 07 00 02 00 03 00 04 00 | 00 00 | 00 00");
    // The second record starts 2 bytes past a multiple of 4 and so gets no padding.
    QTest::newRow("two records, two phases")
        << gridOf({row({"0", "s", "m", "1", "v", "tint"}), row({"1", "s", "n", "0", "v"})})
        << QStringList()
        << hex("4D 54 4C 73 05 00 00 00 0D 00 00 00 |"
               "73 00 6D 00 76 00 74 69 6E 74 00 6E 00 | 00 00 00 | 02 00 00 00 |"
               "02 00 00 00 01 00 04 00 02 00 03 00 04 00 | 00 00 | 01 00 |"
               "06 00 01 00 02 00 00 00 |"
               "0B 00 00 00 01 00 04 00 02 00 03 00 04 00 | 00 00");
}

void TestWriter::smallBlocks()
{
    QFETCH(MaterialGrid, grid);
    QFETCH(QStringList, dictionaryColumn);
    QFETCH(QByteArray, expected);

    const WriteResult result = writeLibrary(grid, dictionaryColumn, catalogue, saveTo(PropsPath));
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

    const char* plainHead = "02 00 00 00 01 00 04 00 02 00 03 00 04 00 | 00 00"; // m, s, v

    QTest::newRow("loaded dictionary first, duplicates and unused kept")
        << gridOf({row({"0", "s", "x", "0", "v"})}) << QStringList{"x", "x", "unused", "m"} << false
        << QStringList{"x", "x", "unused", "m", "s", "v"}
        << hex("00 00 0D 00 01 00 0F 00 02 00 03 00 04 00 | 00 00 | 00 00");
    QTest::newRow("head texts lose their spaces")
        << gridOf({row({"0", " s ", "m ", " 1", " v", "tint"})}) << QStringList() << false
        << QStringList{"s", "m", "v", "tint"}
        << hex(QByteArray(plainHead) + "01 00 | 06 00 01 00 02 00 00 00");
    QTest::newRow("cells differing by spaces share an entry")
        << gridOf({row({"0", "a b", "ab", "0", "v"})}) << QStringList() << false
        << QStringList{"ab", "v"}
        << hex("00 00 00 00 00 00 03 00 00 00 00 00 00 00 | 00 00 | 00 00");
    QTest::newRow("cell of spaces alone contributes the empty text")
        << gridOf({row({"0", "s", "m", "0", "   "})}) << QStringList() << false
        << QStringList{"s", "m", ""}
        << hex("02 00 00 00 00 00 04 00 00 00 00 00 00 00 | 00 00 | 00 00");
    QTest::newRow("parameter name with spaces is added as it stands")
        << gridOf({row({"0", "s", "m", "1", "v", "my param"})}) << QStringList() << false
        << QStringList{"s", "m", "v", "myparam", "my param"}
        << hex(QByteArray(plainHead) + "01 00 | 0E 00 01 00 07 00 08 00");
    QTest::newRow("value with spaces is added as it stands")
        << gridOf({row({"0", "s", "m", "1", "v", "colorMap", "tex d"})}) << QStringList() << false
        << QStringList{"s", "m", "v", "colorMap", "texd", "tex d"}
        << hex(QByteArray(plainHead) + "01 00 | 06 00 04 00 14 00 00 00");
    QTest::newRow("global cells neither written nor counted")
        << gridOf({row({"0", "s", "m", "2", "v", "Global@ShaderFlag0-16256", "tint", "Global@123",
                        "gloss"})})
        << QStringList() << false << QStringList{"s", "m", "v", "tint", "gloss"}
        << hex(QByteArray(plainHead) + "02 00 | 06 00 01 00 02 00 00 00 | 0B 00 03 00 07 00 09 00");
    QTest::newRow("global value of a texture: empty text added")
        << gridOf({row({"0", "s", "m", "1", "v", "colorMap", "Global@77"})}) << QStringList()
        << false << QStringList{"s", "m", "v", "colorMap", ""}
        << hex(QByteArray(plainHead) + "01 00 | 06 00 04 00 0F 00 00 00");
    QTest::newRow("global value of a texture: first empty text of the dictionary")
        << gridOf({row({"0", "s", "m", "1", "v", "colorMap", "Global@77"})}) << QStringList{""}
        << false << QStringList{"", "s", "m", "v", "colorMap"}
        << hex("03 00 01 00 01 00 05 00 02 00 03 00 04 00 | 00 00 | 01 00 |"
               "07 00 04 00 00 00 00 00");
    QTest::newRow("global value of a texture: preview's trailing empty text")
        << gridOf({row({"0", "s", "m", "1", "v", "colorMap", "Global@77"})}) << QStringList()
        << true << QStringList{"s", "m", "v", "colorMap", ""}
        << hex(QByteArray(plainHead) + "01 00 | 06 00 04 00 0F 00 00 00");
    QTest::newRow("missing main shader reads as empty")
        << gridOf({row({"0", nullptr, "m", "0", "v"})}) << QStringList() << false
        << QStringList{"m", "v", ""}
        << hex("00 00 04 00 00 00 02 00 00 00 00 00 00 00 | 00 00 | 00 00");
    QTest::newRow("missing main shader in preview uses the trailing empty text")
        << gridOf({row({"0", nullptr, "m", "0", "v"})}) << QStringList() << true
        << QStringList{"m", "v", ""}
        << hex("00 00 04 00 00 00 02 00 00 00 00 00 00 00 | 00 00 | 00 00");
    QTest::newRow("empty name added")
        << gridOf({row({"0", "s", "", "0", "v"})}) << QStringList() << false
        << QStringList{"s", "v", ""}
        << hex("04 00 00 00 01 00 02 00 02 00 03 00 04 00 | 00 00 | 00 00");
    QTest::newRow("row without a variant cell")
        << gridOf({row({"0", "s", "m", "0"})}) << QStringList() << false
        << QStringList{"s", "m", ""}
        << hex("02 00 00 00 00 00 04 00 00 00 00 00 00 00 | 00 00 | 00 00");
    QTest::newRow("shown value after a type 1 entry is skipped")
        << gridOf({row({"0", "s", "m", "2", "v", "tint", "12", "colorMap", "tex"})})
        << QStringList() << false << QStringList{"s", "m", "v", "tint", "12", "colorMap", "tex"}
        << hex(QByteArray(plainHead) + "02 00 | 06 00 01 00 02 00 00 00 | 0E 00 04 00 17 00 00 00");
    QTest::newRow("shown value after a type 2 entry is skipped")
        << gridOf({row({"0", "s", "m", "2", "v", "matrix", "7", "tint"})}) << QStringList() << false
        << QStringList{"s", "m", "v", "matrix", "7", "tint"}
        << hex(QByteArray(plainHead) + "02 00 | 06 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00"
                                       "00 00 00 00 | 0F 00 01 00 02 00 00 00");
    QTest::newRow("name with a type line after a type 1 entry is a parameter")
        << gridOf({row({"0", "s", "m", "2", "v", "tint", "gloss"})}) << QStringList() << false
        << QStringList{"s", "m", "v", "tint", "gloss"}
        << hex(QByteArray(plainHead) + "02 00 | 06 00 01 00 02 00 00 00 | 0B 00 03 00 07 00 09 00");
    QTest::newRow("texture takes the next cell even when it names a parameter")
        << gridOf({row({"0", "s", "m", "1", "v", "colorMap", "tint"})}) << QStringList() << false
        << QStringList{"s", "m", "v", "colorMap", "tint"}
        << hex(QByteArray(plainHead) + "01 00 | 06 00 04 00 0F 00 00 00");
    QTest::newRow("type 1 lines with missing or bad numbers")
        << gridOf({row({"0", "s", "m", "3", "v", "short1", "half1", "junk1"})}) << QStringList()
        << false << QStringList{"s", "m", "v", "short1", "half1", "junk1"}
        << hex(QByteArray(plainHead) + "03 00 | 06 00 01 00 00 00 00 00 | 0D 00 01 00 05 00 00 00 |"
                                       "13 00 01 00 00 00 09 00");
    QTest::newRow("missing flags read as zero")
        << gridOf({row({"0", "other", "m", "0", "v"})}) << QStringList() << false
        << QStringList{"other", "m", "v"}
        << hex("06 00 00 00 00 00 08 00 00 00 00 00 00 00 | 00 00 | 00 00");
    QTest::newRow("short flags: the rest read as zero")
        << gridOf({row({"0", "short", "m", "0", "v"})}) << QStringList() << false
        << QStringList{"short", "m", "v"}
        << hex("06 00 00 00 07 00 08 00 00 00 00 00 00 00 | 00 00 | 00 00");
    QTest::newRow("flags that are no numbers read as zero, big ones keep 16 bits")
        << gridOf({row({"0", "junk", "m", "0", "v"})}) << QStringList() << false
        << QStringList{"junk", "m", "v"}
        << hex("05 00 00 00 00 00 07 00 01 00 03 00 00 00 | 00 00 | 00 00");
    QTest::newRow("count that is no number writes nothing")
        << gridOf({row({"0", "s", "m", "x", "v", "tint"})}) << QStringList() << false
        << QStringList{"s", "m", "v", "tint"} << hex(QByteArray(plainHead) + "00 00");
    QTest::newRow("count keeps its low 16 bits")
        << gridOf({row({"0", "s", "m", "65537", "v", "tint"})}) << QStringList() << false
        << QStringList{"s", "m", "v", "tint"}
        << hex(QByteArray(plainHead) + "01 00 | 06 00 01 00 02 00 00 00");
    QTest::newRow("preview drops a two-row dictionary column")
        << gridOf({row({"0", "s", "m", "0", "v"})}) << QStringList{"a", "b"} << true
        << QStringList{"s", "m", "v", ""} << hex(QByteArray(plainHead) + "00 00");
    QTest::newRow("save keeps a two-row dictionary column")
        << gridOf({row({"0", "s", "m", "0", "v"})}) << QStringList{"a", "b"} << false
        << QStringList{"a", "b", "s", "m", "v"}
        << hex("06 00 04 00 01 00 08 00 02 00 03 00 04 00 | 00 00 | 00 00");
    QTest::newRow("preview keeps a three-row dictionary column")
        << gridOf({row({"0", "s", "m", "0", "v"})}) << QStringList{"a", "b", "c"} << true
        << QStringList{"a", "b", "c", "s", "m", "v", ""}
        << hex("08 00 06 00 01 00 0A 00 02 00 03 00 04 00 | 00 00 | 00 00");
    QTest::newRow("preview keeps a one-row dictionary column")
        << gridOf({row({"0", "s", "m", "0", "v"})}) << QStringList{"a"} << true
        << QStringList{"a", "s", "m", "v", ""}
        << hex("04 00 02 00 01 00 06 00 02 00 03 00 04 00 | 00 00 | 00 00");
    QTest::newRow("preview ends with an empty text even when it has one")
        << gridOf({row({"0", "s", "m", "0", "v"})}) << QStringList{"", "x", "y"} << true
        << QStringList{"", "x", "y", "s", "m", "v", ""}
        << hex("07 00 05 00 01 00 09 00 02 00 03 00 04 00 | 00 00 | 00 00");
}

void TestWriter::records()
{
    QFETCH(MaterialGrid, grid);
    QFETCH(QStringList, dictionaryColumn);
    QFETCH(bool, isPreview);
    QFETCH(QStringList, dictionary);
    QFETCH(QByteArray, record);

    const WriteResult result = writeLibrary(grid, dictionaryColumn, catalogue,
                                            isPreview ? preview() : saveTo(CharactersPath));
    QCOMPARE(result.outcome, WriteResult::Written);
    QCOMPARE(result.dictionary, dictionary);
    QVERIFY(result.bytes.size() > record.size());
    QCOMPARE(result.bytes.right(record.size()).toHex(' '), record.toHex(' '));
    QCOMPARE(result.bytes.left(4), QByteArray("MTLs"));
    QCOMPARE(result.bytes.mid(result.bytes.size() - record.size() - 4, 4), hex("01 00 00 00"));
}

void TestWriter::textureHashes_data()
{
    QTest::addColumn<WriteOptions>("options");
    QTest::addColumn<QByteArray>("plainHash");   // texture directory + ".tex"
    QTest::addColumn<QByteArray>("textureHash"); // texture directory + "Hero_01_D.tex"
    QTest::addColumn<QStringList>("debugLines");

    const QStringList lines{"CACHE: ", "CACHE: Hero_01_D", "CACHE: Hero_01_D", "CACHE: "};
    // characters/hero_01/textures/.tex and characters/hero_01/textures/hero_01_d.tex
    QTest::newRow("Characters folder") << saveTo(CharactersPath) << hex("6D 61 33 98 08 6C 08 DC")
                                       << hex("28 FA FB 83 A4 FF 24 46") << lines;
    // props/textures/.tex and props/textures/hero_01_d.tex
    QTest::newRow("Props folder") << saveTo(PropsPath) << hex("48 95 08 8F 7F 68 44 49")
                                  << hex("C3 59 36 01 5D BE 10 FA") << lines;
    QTest::newRow("preview") << preview() << hex("AD DE AD DE 00 00 00 00")
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
    const int recordStart = 12 + 48 + 4;
    const QByteArray expected =
        hex("02 00 00 00 01 00 04 00 02 00 03 00 04 00 | 00 00 | 04 00 | 06 00 05 00") + plainHash +
        hex("11 00 04 00 1A 00 00 00 | 06 00 05 00") + textureHash + hex("24 00 05 00") +
        textureHash + hex("2D 00 00 00 01 00 04 00 02 00 03 00 04 00 | 01 00 | 06 00 05 00") +
        plainHash;
    QCOMPARE(result.bytes.mid(recordStart).toHex(' '), expected.toHex(' '));
    QCOMPARE(result.hashDebugLines, debugLines);
}

void TestWriter::refused_data()
{
    QTest::addColumn<MaterialGrid>("grid");
    QTest::addColumn<QString>("message");

    QTest::newRow("no type line") << gridOf({row({"0", "s", "m", "1", "v", "unknown"})})
                                  << "Unknown parameter type: unknown";
    QTest::newRow("empty type line")
        << gridOf({row({"0", "s", "m", "1", "v", "odd"})}) << "Unknown parameter type: odd";
    QTest::newRow("type 0") << gridOf({row({"0", "s", "m", "1", "v", "zero"})})
                            << "Unknown parameter type: zero";
    QTest::newRow("type 6") << gridOf({row({"0", "s", "m", "1", "v", "six"})})
                            << "Unknown parameter type: six";
    QTest::newRow("spaces are part of the key")
        << gridOf({row({"0", "s", "m", "1", "v", "tint "})}) << "Unknown parameter type: tint ";
    QTest::newRow("count beyond the cells")
        << gridOf({row({"0", "s", "m", "3", "v", "tint"})}) << "Unknown parameter type: ";
    QTest::newRow("only global cells")
        << gridOf({row({"0", "s", "m", "65535", "v", "Global@1", "Global@ShaderFlag0-0"})})
        << "Unknown parameter type: ";
    QTest::newRow("second material, after a hash")
        << gridOf({row({"0", "s", "m", "1", "v", "normalHash"}),
                   row({"1", "s", "m", "2", "v", "colorMap", "tex", "six"})})
        << "Unknown parameter type: six";
}

void TestWriter::refused()
{
    QFETCH(MaterialGrid, grid);
    QFETCH(QString, message);

    for (const WriteOptions& options : {saveTo(CharactersPath), preview()}) {
        const WriteResult result = writeLibrary(grid, QStringList(), catalogue, options);
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
    QTest::addColumn<bool>("isPreview");
    QTest::addColumn<int>("position"); // where the field lies in the block when written
    QTest::addColumn<QByteArray>("written");

    // S = offset + 2: the record starts at 12 + S rounded up + 4.
    const int at65534 = 12 + 65536 + 4;
    const int beyond = 12 + 65540 + 4;
    const QByteArray refused;
    QTest::newRow("name at 65534") << Field::Name << 65534 << false << at65534 << hex("FE FF");
    QTest::newRow("name at 65535") << Field::Name << 65535 << false << 0 << refused;
    QTest::newRow("main shader at 65534")
        << Field::MainShader << 65534 << false << at65534 + 2 << hex("FE FF");
    QTest::newRow("main shader at 65535") << Field::MainShader << 65535 << false << 0 << refused;
    QTest::newRow("variant at 65535")
        << Field::Variant << 65535 << false << beyond + 6 << hex("FF FF");
    QTest::newRow("variant at 65536") << Field::Variant << 65536 << false << 0 << refused;
    QTest::newRow("parameter name at 65535")
        << Field::Parameter << 65535 << false << beyond + 18 << hex("FF FF");
    QTest::newRow("parameter name at 65536") << Field::Parameter << 65536 << false << 0 << refused;
    QTest::newRow("texture at 65535")
        << Field::Texture << 65535 << false << beyond + 22 << hex("FF FF");
    QTest::newRow("texture at 65536") << Field::Texture << 65536 << false << 0 << refused;
    QTest::newRow("preview, name at 65535") << Field::Name << 65535 << true << 0 << refused;
    // The empty main shader is the trailing "" here; its 1 byte still ends the dictionary.
    QTest::newRow("preview, empty main shader at 65534")
        << Field::MissingMainShader << 65534 << true << at65534 + 2 << hex("FE FF");
    QTest::newRow("preview, empty main shader at 65535")
        << Field::MissingMainShader << 65535 << true << 0 << refused;
    QTest::newRow("save, empty main shader at 65535")
        << Field::MissingMainShader << 65535 << false << 0 << refused;
}

void TestWriter::stringLimit()
{
    QFETCH(Field, field);
    QFETCH(int, offset);
    QFETCH(bool, isPreview);
    QFETCH(int, position);
    QFETCH(QByteArray, written);

    const QStringList texts{"m", "s", "v", "p", "t"}; // in the order of Field
    const Field lacking = field == Field::MissingMainShader ? Field::MainShader : field;
    QStringList dictionaryColumn;
    for (int i = 0; i < texts.size(); ++i)
        if (i != int(lacking))
            dictionaryColumn.append(texts.at(i));
    const int prefix = 2 * int(dictionaryColumn.size());
    dictionaryColumn.append(QString(offset - prefix - 1, QLatin1Char('a')));

    GridRow cells = row({"0", "s", "m", "1", "v", "p", "t"});
    if (field == Field::MissingMainShader)
        cells[MainShaderColumn].reset();

    ShaderCatalogue local = ShaderCatalogue::inMemory();
    local.record("p", QStringLiteral("4"));
    const WriteResult result = writeLibrary(gridOf({cells}), dictionaryColumn, local,
                                            isPreview ? preview() : saveTo(CharactersPath));
    if (written.isEmpty()) {
        QCOMPARE(result.outcome, WriteResult::StringLimit);
        QCOMPARE(result.message, QStringLiteral("String Limit Reached"));
        QVERIFY(result.bytes.isEmpty());
        return;
    }
    QCOMPARE(result.outcome, WriteResult::Written);
    QCOMPARE(result.bytes.mid(position, 2).toHex(' '), written.toHex(' '));
}

void TestWriter::stringLimitKeepsEarlierDebugLines()
{
    // s 0, v 2, normalHash 4, filler 15..65533, big 65535.
    const QStringList dictionaryColumn{"s", "v", "normalHash", QString(65519, QLatin1Char('a'))};
    const MaterialGrid grid = gridOf({row({"0", "s", "s", "1", "v", "normalHash"}),
                                      row({"1", "s", "big", "1", "v", "normalHash"})});
    const WriteResult result = writeLibrary(grid, dictionaryColumn, catalogue, saveTo(PropsPath));
    QCOMPARE(result.outcome, WriteResult::StringLimit);
    QCOMPARE(result.dictionary.last(), QStringLiteral("big"));
    QCOMPARE(result.hashDebugLines, QStringList{"CACHE: "});
}

QTEST_GUILESS_MAIN(TestWriter)
#include "tst_writer.moc"
