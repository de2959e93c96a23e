#include "support/core/modelbuilder.h"

#include <QtEndian>

namespace testsupport {

QByteArray ModelBuilder::le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

ModelBuilder& ModelBuilder::name(const QString& text)
{
    offsets << quint32(poolBytes.size());
    poolBytes += text.toUtf8();
    poolBytes += '\0';
    return *this;
}

ModelBuilder& ModelBuilder::names(const QStringList& texts)
{
    for (const QString& text : texts)
        name(text);
    return *this;
}

ModelBuilder& ModelBuilder::magic(const QByteArray& fourBytes)
{
    magicBytes = fourBytes;
    return *this;
}

ModelBuilder& ModelBuilder::filler(const QByteArray& bytes)
{
    fillerBytes = bytes.left(36) + QByteArray(qMax(0, 36 - bytes.size()), char(0xEE));
    return *this;
}

ModelBuilder& ModelBuilder::nameCount(quint32 n)
{
    countOverride = n;
    return *this;
}

ModelBuilder& ModelBuilder::nameChunkSize(quint32 s0)
{
    chunkSizeOverride = s0;
    return *this;
}

ModelBuilder& ModelBuilder::nameOffset(int index, quint32 offset)
{
    offsetOverrides[index] = offset;
    return *this;
}

ModelBuilder& ModelBuilder::pool(const QByteArray& bytes)
{
    poolOverride = bytes;
    return *this;
}

ModelBuilder& ModelBuilder::materials(const QVector<quint32>& indices)
{
    return materials(quint32(indices.size()), indices);
}

ModelBuilder& ModelBuilder::materials(quint32 count, const QVector<quint32>& indices,
                                      std::optional<quint32> size)
{
    QByteArray data = le32(count);
    for (quint32 index : indices)
        data += le32(index);
    return chunk(QByteArrayLiteral("MTL!"), data, size);
}

ModelBuilder& ModelBuilder::chunk(const QByteArray& tag, const QByteArray& data,
                                  std::optional<quint32> size)
{
    chunks += tag;
    chunks += le32(size.value_or(quint32(data.size())));
    chunks += data;
    return *this;
}

ModelBuilder& ModelBuilder::end()
{
    return chunk(QByteArrayLiteral("MBfD"));
}

ModelBuilder& ModelBuilder::raw(const QByteArray& bytes)
{
    chunks += bytes;
    return *this;
}

QByteArray ModelBuilder::build() const
{
    const QByteArray poolData = poolOverride.value_or(poolBytes);
    QByteArray table;
    for (int i = 0; i < offsets.size(); ++i)
        table += le32(offsetOverrides.value(i, offsets.at(i)));

    QByteArray file = magicBytes;
    file += fillerBytes;
    file += le32(chunkSizeOverride.value_or(quint32(4 + table.size() + poolData.size())));
    file += le32(countOverride.value_or(quint32(offsets.size())));
    file += table;
    file += poolData;
    file += chunks;
    return file;
}

} // namespace testsupport
