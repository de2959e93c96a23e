// The block codec: exact fields of known blocks, byte-for-byte encoding, padding and record
// phases, the texture hash and directory, and inputs that end early or lie about counts.
#include "mtls/block.h"
#include "support/core/blockbuilder.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace mtls;
using namespace testdata;

class TestBlock : public QObject {
    Q_OBJECT

private slots:
    void exampleDecodesToItsFields();
    void exampleEncodesBackByteForByte();
    void richBlockRoundTrips();
    void paddingAndCountPosition_data();
    void paddingAndCountPosition();
    void emptyStringTakesOneByte();
    void nonAsciiCountsUtf8Bytes();
    void recordPhases();
    void itemSizes_data();
    void itemSizes();
    void globalFlagsDoNotCount();
    void fnvHash_data();
    void fnvHash();
    void textureDirectory_data();
    void textureDirectory();
    void rejectsWhatIsNotMtls_data();
    void rejectsWhatIsNotMtls();
    void hostileCountsReturnAtOnce_data();
    void hostileCountsReturnAtOnce();
    void dictionaryNotEndingAtS();
    void truncationAtEveryByte();
    void trailingBytesAreNoted();
};

void TestBlock::exampleDecodesToItsFields()
{
    const auto block = decode(exampleBlock());
    QVERIFY(block);
    QCOMPARE(block->formatWord, 5);
    QCOMPARE(block->stringTableSize, 35u);
    const QVector<DictionaryEntry> dictionary{
        {"mat", 0}, {"yCS_gear", 4}, {"Normal", 13}, {"colorMap", 20}, {"tex_d", 29}};
    QCOMPARE(block->dictionary, dictionary);
    QCOMPARE(block->materialCountOffset, 48);
    QCOMPARE(block->materialCount, 1u);
    QCOMPARE(block->materials.size(), 1);
    const Material& m = block->materials[0];
    QCOMPARE(m.modelId, quint16(0));
    QCOMPARE(m.mainShader, quint16(4));
    QCOMPARE(m.variant, quint16(13));
    QCOMPARE(m.flags, (std::array<quint16, 4>{1, 2, 3, 4}));
    QCOMPARE(m.paramCount, quint16(1));
    QVERIFY(m.complete);
    QCOMPARE(m.items.size(), 1);
    QCOMPARE(m.items[0].name, quint16(20));
    QCOMPARE(m.items[0].type, quint16(4));
    QCOMPARE(m.items[0].valueWord(), quint16(29));
    QCOMPARE(m.items[0].blockOffset, 70);
    QVERIFY(!block->truncated);
    QVERIFY(block->findings.isEmpty());
    QCOMPARE(block->endOffset, 78);
}

void TestBlock::exampleEncodesBackByteForByte()
{
    const auto block = decode(exampleBlock());
    QVERIFY(block);
    const QByteArray bytes = encode(block->dictionaryTexts(), block->materials);
    QCOMPARE(bytes.size(), 78);
    QCOMPARE(bytes.toHex(), exampleBlock().toHex());
}

void TestBlock::richBlockRoundTrips()
{
    const QByteArray original = richBlock();
    const auto block = decode(original);
    QVERIFY(block);
    QVERIFY(!block->truncated);
    QVERIFY2(block->findings.isEmpty(), qPrintable(block->findings.value(0).text));
    QCOMPARE(block->materials.size(), 3);
    QCOMPARE(block->dictionaryTexts(), richDictionary());
    QCOMPARE(encode(block->dictionaryTexts(), block->materials).toHex(), original.toHex());
}

void TestBlock::paddingAndCountPosition_data()
{
    QTest::addColumn<QStringList>("strings");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("countAt");
    // "abc" + "defg": 4 + 5 = 9 bytes, three bytes of padding, M at 24.
    QTest::newRow("S = 9") << QStringList{"abc", "defg"} << 9 << 24;
    QTest::newRow("S = 8, no padding") << QStringList{"abc", "def"} << 8 << 20;
    QTest::newRow("S = 5") << QStringList{"abcd"} << 5 << 20;
    QTest::newRow("S = 0") << QStringList{} << 0 << 12;
}

void TestBlock::paddingAndCountPosition()
{
    QFETCH(QStringList, strings);
    QFETCH(int, size);
    QFETCH(int, countAt);
    const QByteArray bytes = encode(strings, {});
    QCOMPARE(bytes.mid(8, 4), le32(quint32(size)));
    QCOMPARE(bytes.size(), countAt + 4);
    QCOMPARE(bytes.mid(countAt), le32(0));
    QCOMPARE(bytes.mid(12 + size, countAt - 12 - size), QByteArray(countAt - 12 - size, '\0'));
    const auto block = decode(bytes);
    QVERIFY(block);
    QCOMPARE(block->materialCountOffset, countAt);
    QCOMPARE(block->dictionaryTexts(), strings);
    QVERIFY(block->findings.isEmpty());
}

void TestBlock::emptyStringTakesOneByte()
{
    const auto block = decode(buildBlock({"a", "", "b"}, {}));
    QVERIFY(block);
    const QVector<DictionaryEntry> expected{{"a", 0}, {"", 2}, {"b", 3}};
    QCOMPARE(block->dictionary, expected);
    QCOMPARE(block->stringTableSize, 5u);
}

void TestBlock::nonAsciiCountsUtf8Bytes()
{
    const QStringList strings{QStringLiteral("Grün"), QStringLiteral("光"), QStringLiteral("x")};
    const QVector<qint64> offsets = dictionaryOffsets(strings);
    QCOMPARE(offsets, (QVector<qint64>{0, 6, 10, 12})); // ü takes two bytes, 光 three
    const auto block = decode(encode(strings, {}));
    QVERIFY(block);
    QCOMPARE(block->dictionary.value(2), (DictionaryEntry{"x", 10}));
    QCOMPARE(block->dictionary.value(1).text, QStringLiteral("光"));
}

void TestBlock::recordPhases()
{
    // The first record starts at a multiple of 4 from the count field and gets 2 bytes of
    // padding; its 18 fixed bytes and one 8-byte entry shift the second record by 2, which
    // then gets none.
    RawMaterial a;
    a.count = 1;
    a.items = {entry1(2, 7, 8)};
    RawMaterial b;
    b.count = 1;
    b.items = {entry4(2, 0)};
    const QByteArray bytes = buildBlock({"m", "p"}, {a, b});
    // count field at 16; record a at 20: head to 34, pad to 36, N, entry to 46.
    // record b at 46: head to 60, N at 60 (distance 44, not padded), entry to 70.
    QCOMPARE(bytes.size(), 70);
    QCOMPARE(bytes.mid(34, 4), QByteArray::fromHex("00000100"));
    QCOMPARE(bytes.mid(60, 2), le16(1));
    const auto block = decode(bytes);
    QVERIFY(block);
    QCOMPARE(block->materials.size(), 2);
    QCOMPARE(block->materials[1].blockOffset, 46);
    QCOMPARE(block->materials[1].items[0].blockOffset, 62);
    QCOMPARE(encode(block->dictionaryTexts(), block->materials).toHex(), bytes.toHex());
}

void TestBlock::itemSizes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::newRow("type 1") << 1 << 8;
    QTest::newRow("type 2") << 2 << 20;
    QTest::newRow("type 3") << 3 << 8;
    QTest::newRow("type 4") << 4 << 8;
    QTest::newRow("type 5") << 5 << 12;
    QTest::newRow("type 0x3F80 with a name") << 0x3F80 << 6;
    QTest::newRow("type 0 with a name") << 0 << 8;
    QTest::newRow("type 77") << 77 << 8;
}

void TestBlock::itemSizes()
{
    QFETCH(int, type);
    QFETCH(int, size);
    // An entry of the given size, then a type 4 entry whose fields must be read in place.
    RawMaterial m;
    m.count = 2;
    m.items = {{2, quint16(type), QByteArray(size - 4, '\x11')}, entry4(2, 0x2222)};
    const auto block = decode(buildBlock({"m", "p"}, {m}));
    QVERIFY(block);
    QVERIFY(!block->truncated);
    const Material& read = block->materials.value(0);
    QCOMPARE(read.items.size(), 2);
    QCOMPARE(read.items[1].blockOffset - read.items[0].blockOffset, qint64(size));
    QCOMPARE(read.items[1].valueWord(), quint16(0x2222));
}

void TestBlock::globalFlagsDoNotCount()
{
    RawMaterial m;
    m.count = 2;
    m.items = {entry4(2, 0), globalFlag(0), globalFlag(0x3F80), globalFlag(0), entry1(2, 1, 2)};
    const QByteArray with = buildBlock({"m", "p"}, {m});
    m.items = {entry4(2, 0), entry1(2, 1, 2)};
    QCOMPARE(with.size() - buildBlock({"m", "p"}, {m}).size(), 12);
    const auto block = decode(with);
    QVERIFY(block);
    const Material& read = block->materials.value(0);
    QCOMPARE(read.paramCount, quint16(2));
    QCOMPARE(read.items.size(), 5);
    QVERIFY(read.items[2].isGlobalFlag());
    QCOMPARE(read.items[2].type, quint16(0x3F80));
    QVERIFY(!read.items[4].isGlobalFlag());
    QVERIFY(read.complete);
}

void TestBlock::fnvHash_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<quint64>("hash");
    QTest::newRow("empty") << QByteArray() << Q_UINT64_C(0xCBF29CE484222325);
    QTest::newRow("a") << QByteArray("a") << Q_UINT64_C(0xAF63DC4C8601EC8C);
    QTest::newRow("foobar") << QByteArray("foobar") << Q_UINT64_C(0x85944171F73967E8);
    QTest::newRow("stops at zero") << QByteArray("a\0b", 3) << Q_UINT64_C(0xAF63DC4C8601EC8C);
}

void TestBlock::fnvHash()
{
    QFETCH(QByteArray, input);
    QFETCH(quint64, hash);
    QCOMPARE(fnv1a_64(input), hash);
}

void TestBlock::textureDirectory_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("directory");
    QTest::newRow("characters") << "D:/mods/Characters/hero_01/body.mtls"
                                << "Characters/hero_01/Textures/";
    QTest::newRow("arena then props") << "D:/Arena/Props/ring.mtls"
                                      << "Props/Textures/";
    QTest::newRow("no marker") << "D:/work/body.mtls"
                               << "D:/work/Textures/";
    QTest::newRow("case-sensitive") << "/x/characters/a.mtls"
                                    << "/x/characters/Textures/";
    // Belts is cut first (its place in the marker list), which removes CAS with it.
    QTest::newRow("earlier cut removes a marker") << "/CAS/q/Belts/b/f.mtls"
                                                  << "Belts/b/Textures/";
    QTest::newRow("bare file name") << "f.mtls"
                                    << "/Textures/";
}

void TestBlock::textureDirectory()
{
    QFETCH(QString, path);
    QFETCH(QString, directory);
    QCOMPARE(texture_dir(path), directory);
}

void TestBlock::rejectsWhatIsNotMtls_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("three bytes") << QByteArray("MTL");
    QTest::newRow("capital S") << QByteArray("MTLS\x05\0\0\0\0\0\0\0", 12);
    QTest::newRow("reversed") << QByteArray("sLTM\x05\0\0\0\0\0\0\0", 12);
}

void TestBlock::rejectsWhatIsNotMtls()
{
    QFETCH(QByteArray, data);
    QVERIFY(!decode(data));
}

void TestBlock::hostileCountsReturnAtOnce_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("materials");
    // 20 bytes: empty dictionary, M = 0x7FFFFFFF, one head's worth missing.
    QTest::newRow("huge M") << QByteArray("MTLs") + le32(5) + le32(0) + le32(0x7FFFFFFF) + le32(0)
                            << 0;
    QTest::newRow("huge M, one head")
        << QByteArray("MTLs") + le32(5) + le32(0) + le32(0xFFFFFFFF) + QByteArray(14, '\0') << 1;
    QTest::newRow("huge N") << QByteArray("MTLs") + le32(5) + le32(0) + le32(1) +
                                   QByteArray(14, '\0') + QByteArray(2, '\0') + le16(0xFFFF) +
                                   entry4(1, 1).body
                            << 1;
    QTest::newRow("huge S") << QByteArray("MTLs") + le32(5) + le32(0xFFFFFFF0) +
                                   QByteArray("ab\0", 3)
                            << 0;
    QTest::newRow("endless global flags")
        << QByteArray("MTLs") + le32(5) + le32(0) + le32(1) + QByteArray(16, '\0') + le16(3) +
               QByteArray(4000, '\0')
        << 1;
}

void TestBlock::hostileCountsReturnAtOnce()
{
    QFETCH(QByteArray, data);
    QFETCH(int, materials);
    QElapsedTimer timer;
    timer.start();
    const auto block = decode(data);
    QVERIFY(timer.elapsed() < 1000);
    QVERIFY(block);
    QVERIFY(block->truncated);
    QCOMPARE(block->materials.size(), materials);
    QVERIFY(!block->findings.isEmpty());
}

void TestBlock::dictionaryNotEndingAtS()
{
    // S = 6 cuts "abc","defg" inside the second string: the string is kept whole and the
    // count is read after the padded S.
    QByteArray bytes = QByteArray("MTLs") + le32(5) + le32(6) + QByteArray("abc\0de", 6) +
                       QByteArray("\0\0", 2) + le32(0);
    auto block = decode(bytes);
    QVERIFY(block);
    QCOMPARE(block->dictionaryTexts(), (QStringList{"abc", "de"}));
    QCOMPARE(block->materialCount, 0u);
    QVERIFY(!block->truncated);

    bytes = QByteArray("MTLs") + le32(5) + le32(4) + QByteArray("ab", 2);
    block = decode(bytes);
    QVERIFY(block);
    QVERIFY(block->truncated);
    QVERIFY(block->dictionary.isEmpty());
}

void TestBlock::truncationAtEveryByte()
{
    const QByteArray whole = richBlock();
    for (int size = 4; size < whole.size(); ++size) {
        const auto block = decode(whole.left(size));
        QVERIFY(block);
        QVERIFY2(block->truncated, qPrintable(QString::number(size)));
        QVERIFY(block->materials.size() <= 3);
        QVERIFY(block->endOffset <= size);
        for (const Material& m : block->materials) {
            QVERIFY(m.blockOffset + HeadSize <= size);
            for (const Item& item : m.items)
                QVERIFY(item.blockOffset + 4 + itemBodySize(item) <= size);
        }
    }
}

void TestBlock::trailingBytesAreNoted()
{
    const auto block = decode(exampleBlock() + QByteArray("junk"));
    QVERIFY(block);
    QVERIFY(!block->truncated);
    QCOMPARE(block->materials.size(), 1);
    QCOMPARE(block->findings.size(), 1);
    QCOMPARE(block->findings[0].offset, 78);
}

QTEST_GUILESS_MAIN(TestBlock)
#include "tst_block.moc"
