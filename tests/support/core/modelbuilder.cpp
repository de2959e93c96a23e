#include "support/core/modelbuilder.h"

#include "support/core/blockbuilder.h"

namespace testsupport {

using testdata::le32;

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
    chunks += tag + le32(size.value_or(quint32(data.size()))) + data;
    return *this;
}

QByteArray ModelBuilder::build() const
{
    const QByteArray poolData = poolOverride.value_or(poolBytes);
    QByteArray table;
    for (int i = 0; i < offsets.size(); ++i)
        table += le32(offsetOverrides.value(i, offsets.at(i)));
    return QByteArrayLiteral("MDL!") + fillerBytes +
           le32(chunkSizeOverride.value_or(quint32(4 + table.size() + poolData.size()))) +
           le32(quint32(offsets.size())) + table + poolData + chunks;
}

} // namespace testsupport
