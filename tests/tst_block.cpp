// The block codec: exact fields of known blocks, byte-for-byte encoding, padding and record
// phases, the texture hash and directory, and inputs that end early or lie about counts.
#include "mtls/block.h"
#include "support/core/blockbuilder.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace mtls;
using namespace testdata;

const QByteArray header = QByteArray("MTLs") + le32(5);

class TestBlock : public QObject {
    Q_OBJECT

private slots:
    void exampleFieldsAndTrailingBytes()
    {
        // Bytes after the last record are noted and otherwise ignored.
        const auto block = decode(exampleBlock() + QByteArray("junk"));
        QVERIFY(block);
        QVERIFY(!block->truncated);
        QCOMPARE(block->findings.size(), 1);
        QCOMPARE(block->findings[0].offset, 78);
        const QVector<DictionaryEntry> dictionary{
            {"mat", 0}, {"yCS_gear", 4}, {"Normal", 13}, {"colorMap", 20}, {"tex_d", 29}};
        QCOMPARE(block->dictionary, dictionary);
        QCOMPARE(block->materialCountOffset, 48);
        QCOMPARE(block->materials.size(), 1);
        const Material& m = block->materials[0];
        QCOMPARE((QVector<int>{m.modelId, m.mainShader, m.variant, m.flags[0], m.flags[1],
                               m.flags[2], m.flags[3], m.paramCount, m.complete}),
                 (QVector<int>{0, 4, 13, 1, 2, 3, 4, 1, true}));
        const Item& item = m.items.value(0);
        QCOMPARE((QVector<qint64>{item.name, item.type, qint64(item.first), qint64(item.second),
                                  item.blockOffset, block->endOffset}),
                 (QVector<qint64>{20, 4, 29, 0, 70, 78}));
    }

    void decodeThenEncodeGivesTheSameBytes()
    {
        for (const QByteArray& bytes : {exampleBlock(), richBlock()}) {
            const auto block = decode(bytes);
            QVERIFY(block);
            QVERIFY(!block->truncated);
            QVERIFY2(block->findings.isEmpty(), qPrintable(block->findings.value(0).text));
            QCOMPARE(encode(block->dictionaryTexts(), block->materials).toHex(), bytes.toHex());
        }
    }

    void dictionaryOffsetsAndPadding_data()
    {
        QTest::addColumn<QStringList>("strings");
        QTest::addColumn<QVector<qint64>>("offsets"); // then S
        QTest::addColumn<int>("countAt");
        QTest::newRow("S = 9") << QStringList{"abc", "defg"} << QVector<qint64>{0, 4, 9} << 24;
        QTest::newRow("S = 8") << QStringList{"abc", "def"} << QVector<qint64>{0, 4, 8} << 20;
        QTest::newRow("S = 0") << QStringList{} << QVector<qint64>{0} << 12;
        QTest::newRow("empty string")
            << QStringList{"a", "", "b"} << QVector<qint64>{0, 2, 3, 5} << 20;
        // ü takes two bytes, 光 three.
        QTest::newRow("non-ASCII") << QStringList{QStringLiteral("Grün"), QStringLiteral("光"), "x"}
                                   << QVector<qint64>{0, 6, 10, 12} << 24;
    }
    void dictionaryOffsetsAndPadding()
    {
        QFETCH(QStringList, strings);
        QFETCH(QVector<qint64>, offsets);
        QFETCH(int, countAt);
        QCOMPARE(dictionaryOffsets(strings), offsets);
        const int size = int(offsets.last());
        const QByteArray bytes = encode(strings, {});
        QCOMPARE(bytes.mid(8, 4), le32(quint32(size)));
        // Zero padding, then M = 0 as the last four bytes.
        QCOMPARE(bytes.mid(12 + size), QByteArray(countAt + 4 - 12 - size, '\0'));
        const auto block = decode(bytes);
        QVERIFY(block);
        QCOMPARE(block->materialCountOffset, countAt);
        QCOMPARE(block->dictionary.size(), strings.size());
        for (int i = 0; i < strings.size(); ++i)
            QCOMPARE(block->dictionary[i], (DictionaryEntry{strings[i], quint32(offsets[i])}));
    }

    void recordPhases()
    {
        // Count field at 16. Record a at 20: head to 34, 2 bytes of padding, N, entry to 46.
        // Record b at 46: head to 60, N at 60 (distance 44, no padding), entry to 70.
        RawMaterial a;
        a.count = 1;
        a.items = {entry1(2, 7, 8)};
        RawMaterial b;
        b.count = 1;
        b.items = {entry4(2, 0)};
        const QByteArray bytes = buildBlock({"m", "p"}, {a, b});
        QCOMPARE(bytes.size(), 70);
        QCOMPARE(bytes.mid(34, 4), QByteArray::fromHex("00000100"));
        QCOMPARE(bytes.mid(60, 2), le16(1));
        const auto block = decode(bytes);
        QVERIFY(block);
        QCOMPARE(block->materials.size(), 2);
        QCOMPARE(block->materials[1].items.value(0).blockOffset, 62);
        QCOMPARE(encode(block->dictionaryTexts(), block->materials).toHex(), bytes.toHex());
    }

    void itemSizesAndGlobalFlags()
    {
        // Entries of every size, each with a name, three global flag items that N does not
        // count, then a type 4 entry whose value must be read in place.
        const QVector<int> types{1, 2, 3, 4, 5, 0, 77, -1, -1, -1, 0x3F80};
        const QVector<qint64> sizes{8, 20, 8, 8, 12, 8, 8, 4, 4, 4, 6};
        RawMaterial m;
        m.count = 9;
        for (int i = 0; i < types.size(); ++i)
            m.items.append(types[i] < 0 ? globalFlag(i == 8 ? 0x3F80 : 0)
                                        : RawItem{2, quint16(types[i]),
                                                  QByteArray(int(sizes[i]) - 4, '\x11')});
        m.items.append(entry4(2, 0x2222));
        const auto block = decode(buildBlock({"m", "p"}, {m}));
        QVERIFY(block);
        QVERIFY(!block->truncated);
        const Material& read = block->materials.value(0);
        QVERIFY(read.complete);
        QCOMPARE(read.items.size(), 12);
        QVector<qint64> distances;
        for (int i = 1; i < read.items.size(); ++i)
            distances.append(read.items[i].blockOffset - read.items[i - 1].blockOffset);
        QCOMPARE(distances, sizes);
        QVERIFY(read.items[8].isGlobalFlag() && !read.items[10].isGlobalFlag());
        QCOMPARE(read.items[8].type, quint16(0x3F80));
        QCOMPARE(read.items[11].valueWord(), quint16(0x2222));
    }

    void textureHashAndDirectory()
    {
        QCOMPARE(fnv1a_64(QByteArray()), Q_UINT64_C(0xCBF29CE484222325));
        QCOMPARE(fnv1a_64("a"), Q_UINT64_C(0xAF63DC4C8601EC8C));
        QCOMPARE(fnv1a_64(QByteArray("a\0b", 3)), Q_UINT64_C(0xAF63DC4C8601EC8C));

        QCOMPARE(texture_dir("D:/mods/Characters/hero_01/body.mtls"),
                 QStringLiteral("Characters/hero_01/Textures/"));
        QCOMPARE(texture_dir("D:/Arena/Props/ring.mtls"), QStringLiteral("Props/Textures/"));
        QCOMPARE(texture_dir("D:/work/body.mtls"), QStringLiteral("D:/work/Textures/"));
        QCOMPARE(texture_dir("/x/characters/a.mtls"), QStringLiteral("/x/characters/Textures/"));
        // Belts is cut first (its place in the marker list), which removes CAS with it.
        QCOMPARE(texture_dir("/CAS/q/Belts/b/f.mtls"), QStringLiteral("Belts/b/Textures/"));
        QCOMPARE(texture_dir("f.mtls"), QStringLiteral("/Textures/"));
    }

    void rejectsWhatIsNotMtls()
    {
        for (const QByteArray& bytes :
             {QByteArray(), QByteArray("MTL"), QByteArray("MTLS\x05\0\0\0\0\0\0\0", 12),
              QByteArray("sLTM\x05\0\0\0\0\0\0\0", 12)})
            QVERIFY2(!decode(bytes), bytes.constData());
    }

    void hostileInputReturnsAtOnce_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("materials");
        // 20 bytes: empty dictionary, M = 0x7FFFFFFF and not one head.
        QTest::newRow("huge M") << header + le32(0) + le32(0x7FFFFFFF) + le32(0) << 0;
        QTest::newRow("huge M, one head")
            << header + le32(0) + le32(0xFFFFFFFF) + QByteArray(14, '\0') << 1;
        QTest::newRow("huge N") << header + le32(0) + le32(1) + QByteArray(16, '\0') +
                                       le16(0xFFFF) + entry4(1, 1).body
                                << 1;
        QTest::newRow("huge S") << header + le32(0xFFFFFFF0) + QByteArray("ab\0", 3) << 0;
        QTest::newRow("S past the data") << header + le32(4) + QByteArray("ab") << 0;
        QTest::newRow("endless global flags")
            << header + le32(0) + le32(1) + QByteArray(16, '\0') + le16(3) + QByteArray(4000, '\0')
            << 1;
    }
    void hostileInputReturnsAtOnce()
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

    void truncationAtEveryByte()
    {
        const QByteArray whole = richBlock();
        for (int size = 4; size < whole.size(); ++size) {
            const auto block = decode(whole.left(size));
            QVERIFY(block);
            QVERIFY2(block->truncated, qPrintable(QString::number(size)));
            QVERIFY(block->endOffset <= size);
            for (const Material& m : block->materials) {
                QVERIFY(m.blockOffset + HeadSize <= size);
                for (const Item& item : m.items)
                    QVERIFY(item.blockOffset + 4 + itemBodySize(item) <= size);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestBlock)
#include "tst_block.moc"
