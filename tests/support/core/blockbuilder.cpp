#include "blockbuilder.h"

#include "mtls/block.h"

#include <QRandomGenerator>

namespace testdata {

quint16 offsetOf(const QStringList& dictionary, const QString& text)
{
    int offset = 0;
    for (const QString& s : dictionary) {
        if (s == text)
            return quint16(offset);
        offset += s.toUtf8().size() + 1;
    }
    qFatal("offsetOf: '%s' is not in the test dictionary", qPrintable(text));
    return 0;
}

QByteArray buildBlock(const QStringList& dictionary, const QVector<RawMaterial>& materials,
                      std::optional<quint32> claimedCount)
{
    QByteArray strings;
    for (const QString& s : dictionary)
        strings += s.toUtf8() + '\0';
    QByteArray block = QByteArray("MTLs") + le32(5) + le32(quint32(strings.size())) + strings;
    block += QByteArray((4 - block.size() % 4) % 4, '\0');
    const int countField = block.size();
    block += le32(claimedCount.value_or(quint32(materials.size())));
    for (const RawMaterial& m : materials) {
        block += le16(m.modelId) + le16(m.mainShader) + le16(m.flags[0]) + le16(m.variant) +
                 le16(m.flags[1]) + le16(m.flags[2]) + le16(m.flags[3]);
        block += QByteArray((4 - (block.size() - countField) % 4) % 4, '\0');
        block += le16(m.count);
        for (const RawItem& item : m.items)
            block += le16(item.name) + le16(item.type) + item.body;
    }
    return block;
}

QByteArray exampleBlock()
{
    return QByteArray::fromHex("4D544C73 05000000 23000000 6D617400 7943535F6765617200 "
                               "4E6F726D616C00 636F6C6F724D617000 7465785F6400 00 01000000 "
                               "00000400 01000D00 020003000400 0000 0100 1400 0400 1D00 0000");
}

QByteArray richBlock(bool withUnsizableEntry)
{
    const QStringList d = QStringLiteral("mat,yCS_head,Normal,colorMap,tex_d,,gain,tint,hashA,odd,"
                                         "Schön_ä,mat,coverMap,other,unused")
                              .split(',');
    auto at = [&d](const char* text) { return offsetOf(d, QString::fromUtf8(text)); };
    RawMaterial first{at("mat"), at("yCS_head"), at("Normal"), {1, 2, 3, 4}, 4, {}};
    first.items << entry4(at("colorMap"), at("tex_d")) << entry1(at("gain"), 7, 9) << globalFlag(0)
                << globalFlag(0x3F80) << globalFlag(0)
                << entry2(at("tint"), 0x1122334455667788ull, 42) << entry5(at("hashA"), 0xDEADDEAD);
    if (withUnsizableEntry) {
        first.items.append(entry3F80(at("odd"), 3));
        first.count = 5;
    }
    // Main shader 0xFFF0 starts no string; the 6-byte entry shifts this record's phase.
    RawMaterial second{at("Schön_ä"), 0xFFF0, at(""), {9, 0, 0, 65535}, 2, {}};
    second.items << entry1(at("coverMap"), 0, 5, 3) << entry4(at("other"), 1);
    return buildBlock(d, {first, second, {at("other"), at("yCS_head"), at("Normal"), {}, 0, {}}});
}

QByteArray generatedLibrary(quint32 seed, const QString& savePath)
{
    QRandomGenerator random(seed);
    // Parameter names and their types: each name keeps one type (and a, b), as in a clean
    // library. Then two shaders, two variants and the textures.
    const QStringList d0 = QStringLiteral("gain,tint,cover,colorMap,normalMap,maskHash,yCS_gear,"
                                          "yCS_skin,Normal,Alt,tex_d,Hüt_n,Cap_ALPHA_pm")
                               .split(',');
    const int types[] = {1, 2, 3, 4, 4, 5};
    QStringList d = QStringList{"mat"} + d0, names;
    for (int m = 1 + random.bounded(5); m > 0; --m)
        names << QStringLiteral("m%1_%2").arg(m).arg(random.bounded(100));
    d += names;
    if (random.bounded(2)) // a duplicate and a string nothing refers to stay as they are
        d << "mat"
          << "unused";
    QVector<RawMaterial> records;
    for (const QString& name : names) {
        const int s = random.bounded(2), v = random.bounded(2);
        RawMaterial record{
            offsetOf(d, name), offsetOf(d, d0[6 + s]), offsetOf(d, d0[8 + v]), {}, 0, {}};
        record.flags = {quint16(1 + s), 0, quint16(3 + v), quint16(16 * (s + v))};
        QString texture;
        for (int k = random.bounded(7); k > 0; --k) {
            const int p = random.bounded(6);
            const quint16 at = offsetOf(d, d0[p]);
            if (types[p] == 4)
                record.items << entry4(at, offsetOf(d, texture = d0[10 + random.bounded(3)]));
            else if (types[p] == 5)
                record.items << entry5(
                    at, mtls::fnv1a_64(
                            (mtls::texture_dir(savePath) + texture + ".tex").toLower().toUtf8()));
            else
                record.items << (types[p] == 2 ? entry2(at) : entry1(at, 2, 7, types[p]));
        }
        record.count = quint16(record.items.size());
        records << record;
    }
    return buildBlock(d, records);
}

} // namespace testdata
