#include "blockbuilder.h"

namespace testdata {

QByteArray le16(quint16 value)
{
    QByteArray bytes;
    bytes.append(char(value & 0xFF)).append(char(value >> 8));
    return bytes;
}

QByteArray le32(quint32 value)
{
    return le16(quint16(value & 0xFFFF)) + le16(quint16(value >> 16));
}

QByteArray le64(quint64 value)
{
    return le32(quint32(value & 0xFFFFFFFFu)) + le32(quint32(value >> 32));
}

RawItem entry1(quint16 name, quint16 a, quint16 b, quint16 type)
{
    return {name, type, le16(a) + le16(b)};
}
RawItem entry2(quint16 name, quint64 x, quint64 y)
{
    return {name, 2, le64(x) + le64(y)};
}
RawItem entry4(quint16 name, quint16 value)
{
    return {name, 4, le16(value) + le16(0)};
}
RawItem entry5(quint16 name, quint64 hash)
{
    return {name, 5, le64(hash)};
}
RawItem entry3F80(quint16 name, quint16 value)
{
    return {name, 0x3F80, le16(value)};
}
RawItem globalFlag(quint16 second)
{
    return {0, second, QByteArray()};
}

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
        strings += s.toUtf8() + QByteArray(1, '\0');
    QByteArray block = QByteArray("MTLs") + le32(5) + le32(quint32(strings.size())) + strings;
    while (block.size() % 4)
        block.append('\0');
    const int countField = block.size();
    block += le32(claimedCount.value_or(quint32(materials.size())));
    for (const RawMaterial& m : materials) {
        block += le16(m.modelId) + le16(m.mainShader) + le16(m.flags[0]) + le16(m.variant) +
                 le16(m.flags[1]) + le16(m.flags[2]) + le16(m.flags[3]);
        while ((block.size() - countField) % 4)
            block.append('\0');
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

QStringList richDictionary()
{
    return {QStringLiteral("mat"),      QStringLiteral("yCS_head"), QStringLiteral("Normal"),
            QStringLiteral("colorMap"), QStringLiteral("tex_d"),    QString(),
            QStringLiteral("gain"),     QStringLiteral("tint"),     QStringLiteral("hashA"),
            QStringLiteral("odd"),      QStringLiteral("Schön_ä"),  QStringLiteral("mat"),
            QStringLiteral("coverMap"), QStringLiteral("other"),    QStringLiteral("unused")};
}

QByteArray richBlock(bool withUnsizableEntry)
{
    const QStringList d = richDictionary();
    auto at = [&d](const char* text) { return offsetOf(d, QString::fromUtf8(text)); };
    RawMaterial first;
    first.modelId = at("mat");
    first.mainShader = at("yCS_head");
    first.variant = at("Normal");
    first.flags = {1, 2, 3, 4};
    first.count = withUnsizableEntry ? 5 : 4;
    first.items = {entry4(at("colorMap"), at("tex_d")),
                   entry1(at("gain"), 7, 9),
                   globalFlag(0),
                   globalFlag(0x3F80),
                   globalFlag(0),
                   entry2(at("tint"), 0x1122334455667788ull, 42),
                   entry5(at("hashA"), 0xDEADDEADull)};
    if (withUnsizableEntry)
        first.items.append(entry3F80(at("odd"), 3));
    RawMaterial second; // the 6-byte entry, when present, shifts it to the other phase
    second.modelId = at("Schön_ä");
    second.mainShader = 0xFFF0; // starts no string: shown without a main shader
    second.variant = at("");
    second.flags = {9, 0, 0, 65535};
    second.count = 2;
    second.items = {entry1(at("coverMap"), 0, 5, 3), entry4(at("other"), 1)};
    RawMaterial third;
    third.modelId = at("other");
    third.mainShader = at("yCS_head");
    third.variant = at("Normal");
    third.count = 0;
    return buildBlock(d, {first, second, third});
}

} // namespace testdata
