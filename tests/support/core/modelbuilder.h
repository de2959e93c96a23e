#pragma once
// Lays out a model file byte by byte for tests and demo data:
//
//   0   "MDL!"                       magic
//   4   36 filler bytes              0xEE unless set, so that a reader that looks there gets noise
//   40  S0                           name chunk length, counted from 44 (computed unless set)
//   44  N                            number of names
//   48  offsets                      one per added name, into the pool (each overridable)
//   ..  pool                         each name's bytes and a zero byte (or raw pool bytes)
//   ..  chunks                       in the order added: tag, size, data
//
// Nothing is checked: every override exists so that tests can make broken files.

#include <QMap>
#include <QStringList>
#include <optional>

namespace testsupport {

class ModelBuilder {
public:
    // Appends a name to the name table; its offset points at its place in the pool.
    ModelBuilder& name(const QString& text)
    {
        offsets << quint32(poolBytes.size());
        poolBytes += text.toUtf8() + '\0';
        return *this;
    }
    ModelBuilder& names(const QStringList& texts)
    {
        for (const QString& text : texts)
            name(text);
        return *this;
    }

    // The 36 bytes after the magic; shorter data is padded with 0xEE, longer is cut.
    ModelBuilder& filler(const QByteArray& bytes)
    {
        return set(fillerBytes,
                   bytes.left(36) + QByteArray(qMax(0, 36 - bytes.size()), char(0xEE)));
    }
    ModelBuilder& nameChunkSize(quint32 s0) { return set(chunkSizeOverride, s0); } // S0 as written
    ModelBuilder& nameOffset(int index, quint32 offset)
    {
        return set(offsetOverrides[index], offset);
    }
    // The pool as given (offsets stay as computed).
    ModelBuilder& pool(const QByteArray& bytes) { return set(poolOverride, bytes); }

    // An "MTL!" chunk; count, indices and size as a well-formed file has them.
    ModelBuilder& materials(const QVector<quint32>& indices)
    {
        return materials(quint32(indices.size()), indices);
    }
    // An "MTL!" chunk with a stated count and, when given, a stated size.
    ModelBuilder& materials(quint32 count, const QVector<quint32>& indices,
                            std::optional<quint32> size = std::nullopt);
    // Any chunk: the size word is data.size() unless given.
    ModelBuilder& chunk(const QByteArray& tag, const QByteArray& data = QByteArray(),
                        std::optional<quint32> size = std::nullopt);
    // The "MBfD" chunk that ends the walk (size 0).
    ModelBuilder& end() { return chunk(QByteArrayLiteral("MBfD")); }

    QByteArray build() const;

private:
    template <typename Field, typename Value> ModelBuilder& set(Field& field, const Value& value)
    {
        field = value;
        return *this;
    }
    QByteArray fillerBytes = QByteArray(36, char(0xEE));
    QVector<quint32> offsets;
    QByteArray poolBytes;
    std::optional<QByteArray> poolOverride;
    std::optional<quint32> chunkSizeOverride;
    QMap<int, quint32> offsetOverrides;
    QByteArray chunks;
};

} // namespace testsupport
