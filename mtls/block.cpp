#include "mtls/block.h"

#include <QDataStream>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace mtls {

namespace {

qint64 roundUpTo4(qint64 value)
{
    return (value + 3) & ~qint64(3);
}

// Little-endian reads over the whole block that never go past its end: a read that does
// not fit leaves the position alone and reports false.
class Reader {
public:
    explicit Reader(const QByteArray& data) : base(data.constData()), length(data.size()) {}
    qint64 pos() const { return position; }
    qint64 size() const { return length; }
    qint64 left() const { return length - position; }
    void seek(qint64 to) { position = qBound(qint64(0), to, length); }
    template <typename T> bool read(T& value)
    {
        if (left() < qint64(sizeof(T)))
            return false;
        value = qFromLittleEndian<T>(base + position);
        position += qint64(sizeof(T));
        return true;
    }
    // Offset of the next zero byte at or after the position, if there is one.
    std::optional<qint64> nextZero() const
    {
        const void* zero = std::memchr(base + position, 0, size_t(left()));
        if (!zero)
            return std::nullopt;
        return static_cast<const char*>(zero) - base;
    }
    const char* at(qint64 offset) const { return base + offset; }
    bool allZero(qint64 from, qint64 to) const
    {
        for (qint64 i = from; i < to && i < length; ++i)
            if (base[i] != 0)
                return false;
        return true;
    }

private:
    const char* base;
    qint64 length;
    qint64 position = 0;
};

void cutOff(Block& block, qint64 offset, const QString& text)
{
    block.truncated = true;
    block.findings.append({offset, text});
}

void readDictionary(Reader& in, Block& block, BlockVisitor& visitor)
{
    const qint64 end = DictionaryOffset + qint64(block.stringTableSize);
    while (in.pos() < end) {
        const qint64 start = in.pos();
        const std::optional<qint64> zero = in.nextZero();
        if (!zero) {
            cutOff(block, start, QStringLiteral("dictionary string without its zero byte"));
            in.seek(in.size());
            return;
        }
        visitor.string(in.at(start), *zero - start, quint32(start - DictionaryOffset));
        ++block.stringCount;
        in.seek(*zero + 1);
    }
    if (in.pos() != end)
        block.findings.append(
            {in.pos(), QStringLiteral("dictionary does not end at 12 + S (%1)").arg(end)});
}

// Reads one item; false when the data ends inside it.
bool readItem(Reader& in, Item& item)
{
    item.blockOffset = in.pos();
    if (!in.read(item.name) || !in.read(item.type))
        return false;
    if (item.name == 0 && (item.type == 0 || item.type == GlobalFlagType)) {
        item.kind = Item::GlobalFlag;
        return true;
    }
    if (in.left() < itemBodySize(item))
        return false;
    // The body's words: their room was checked above, so every read below succeeds.
    auto next = [&in](auto word) -> quint64 {
        in.read(word);
        return word;
    };
    switch (item.type) {
    case 2:
        item.first = next(quint64());
        item.second = next(quint64());
        return true;
    case 5:
        item.first = next(quint64());
        return true;
    case GlobalFlagType:
        item.first = next(quint16());
        return true;
    default:
        item.first = next(quint16());
        item.second = next(quint16());
        return true;
    }
}

// Reads one record from its head on. Returns false when the data ended inside it; the
// material then holds what could be read.
bool readMaterial(Reader& in, const Block& block, Material& material, QString& problem,
                  BlockVisitor& visitor)
{
    material.blockOffset = in.pos();
    quint16 head[7] = {};
    if (in.left() < HeadSize) {
        problem = QStringLiteral("record head cut off");
        return false;
    }
    for (quint16& word : head)
        in.read(word);
    material.modelId = head[0];
    material.mainShader = head[1];
    material.flags = {head[2], head[4], head[5], head[6]};
    material.variant = head[3];
    visitor.head(material);

    const qint64 aligned =
        block.materialCountOffset + roundUpTo4(in.pos() - block.materialCountOffset);
    if (aligned + 2 > in.size()) {
        problem = QStringLiteral("parameter count cut off");
        return false;
    }
    in.seek(aligned);
    in.read(material.paramCount);
    material.countRead = true;

    int read = 0;
    while (read < material.paramCount) {
        Item item;
        if (!readItem(in, item)) {
            problem = QStringLiteral("parameter entry %1 of %2 cut off")
                          .arg(read + 1)
                          .arg(material.paramCount);
            in.seek(item.blockOffset);
            return false;
        }
        visitor.item(item);
        if (!item.isGlobalFlag())
            ++read;
    }
    material.complete = true;
    return true;
}

bool isAscii(const char* text, qint64 length)
{
    for (qint64 i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    return true;
}

// Keeps everything a walk hands out: the decoded block.
class Collector : public BlockVisitor {
public:
    Collector(Block& block, qint64 dataSize) : block(block), dataSize(dataSize) {}
    void string(const char* text, qint64 length, quint32 offset) override
    {
        // A text equal to the one before shares it, and an empty one Qt's own empty string:
        // a dictionary of one string repeated costs no more than the entries.
        DictionaryEntry entry{{}, offset, {}};
        if (length == 0)
            entry.text = QString::fromLatin1("", 0);
        else if (length == lastLength && std::memcmp(text, lastBytes, size_t(length)) == 0)
            entry.text = lastText;
        else
            entry.text = QString::fromUtf8(text, int(length));
        lastBytes = text;
        lastLength = length;
        lastText = entry.text;
        // Bytes that are not UTF-8 do not come back from the text: keep them as they are.
        if (!isAscii(text, length)) {
            const QByteArray bytes(text, int(length));
            if (entry.text.toUtf8() != bytes)
                entry.bytes = bytes;
        }
        block.dictionary.append(entry);
    }
    void head(const Material& material) override
    {
        // Records take at least 16 bytes: room for the count claimed, as far as the data holds.
        const qint64 left = dataSize - material.blockOffset;
        if (block.materials.isEmpty())
            block.materials.reserve(int(qMin<qint64>(block.materialCount, left / 16 + 1)));
    }
    void item(const Item& item) override
    {
        // No item takes fewer than 4 bytes: the list grows to what the data can still hold,
        // not to twice what it holds.
        if (items.size() == items.capacity())
            items.reserve(int(qMin(qint64(items.size()) * 2 + 16,
                                   items.size() + (dataSize - item.blockOffset) / 4 + 1)));
        items.append(item);
    }
    void material(const Material& material) override
    {
        block.materials.append(material);
        items.squeeze(); // a record keeps what it holds, not what its list grew to
        block.materials.last().items.swap(items);
    }

private:
    Block& block;
    qint64 dataSize;
    QVector<Item> items;
    const char* lastBytes = nullptr;
    qint64 lastLength = -1;
    QString lastText;
};

} // namespace

int itemBodySize(const Item& item)
{
    if (item.isGlobalFlag())
        return 0;
    switch (item.type) {
    case 2:
        return 16;
    case 5:
        return 8;
    case GlobalFlagType:
        return 2;
    default:
        return 4;
    }
}

QStringList Block::dictionaryTexts() const
{
    QStringList texts;
    texts.reserve(dictionary.size());
    for (const DictionaryEntry& entry : dictionary)
        texts.append(entry.text);
    return texts;
}

void BlockVisitor::string(const char*, qint64, quint32) {}
void BlockVisitor::head(const Material&) {}
void BlockVisitor::item(const Item&) {}
void BlockVisitor::material(const Material&) {}

bool walk(const QByteArray& data, Block& block, BlockVisitor& visitor)
{
    Reader in(data);
    quint32 magic = 0;
    if (!in.read(magic) || magic != Magic)
        return false;

    if (!in.read(block.formatWord) || !in.read(block.stringTableSize)) {
        cutOff(block, in.pos(), QStringLiteral("header cut off"));
        block.endOffset = in.size();
        return true;
    }
    readDictionary(in, block, visitor);

    const qint64 dictionaryEnd = DictionaryOffset + qint64(block.stringTableSize);
    block.materialCountOffset = DictionaryOffset + roundUpTo4(block.stringTableSize);
    if (!block.truncated && !in.allZero(dictionaryEnd, block.materialCountOffset))
        block.findings.append(
            {dictionaryEnd, QStringLiteral("padding after the dictionary is not zero")});
    in.seek(block.materialCountOffset);
    if (block.materialCountOffset + 4 > in.size()) {
        if (!block.truncated)
            cutOff(block, in.pos(), QStringLiteral("material count cut off"));
        block.endOffset = in.size();
        return true;
    }
    in.read(block.materialCount);

    // Every record takes at least its head, so the data bounds the loop, not M.
    for (quint32 i = 0; i < block.materialCount; ++i) {
        if (in.left() == 0) {
            cutOff(block, in.pos(),
                   QStringLiteral("%1 of %2 materials present").arg(i).arg(block.materialCount));
            break;
        }
        Material material;
        QString problem;
        const bool whole = readMaterial(in, block, material, problem, visitor);
        if (material.blockOffset + HeadSize <= in.size()) {
            ++block.materialsRead;
            visitor.material(material);
        }
        if (!whole) {
            cutOff(block, in.pos(), QStringLiteral("material %1: %2").arg(i).arg(problem));
            break;
        }
    }
    block.endOffset = in.pos();
    if (!block.truncated && in.left() > 0)
        block.findings.append(
            {in.pos(), QStringLiteral("%1 bytes after the last record").arg(in.left())});
    return true;
}

std::optional<Block> decode(const QByteArray& data)
{
    Block block;
    // One entry per zero byte of the dictionary: reserved at once, the list never grows
    // past what the data holds.
    if (data.size() >= DictionaryOffset) {
        const quint32 size = qFromLittleEndian<quint32>(data.constData() + StringTableSizeOffset);
        const qint64 end = qMin(qint64(data.size()), DictionaryOffset + qint64(size));
        block.dictionary.reserve(
            int(std::count(data.constData() + DictionaryOffset, data.constData() + end, '\0')));
    }
    Collector collector(block, data.size());
    if (!walk(data, block, collector))
        return std::nullopt;
    return block;
}

QVector<qint64> dictionaryOffsets(const QStringList& strings)
{
    QVector<qint64> offsets;
    offsets.reserve(strings.size() + 1);
    qint64 total = 0;
    for (const QString& text : strings) {
        offsets.append(total);
        total += text.toUtf8().size() + 1;
    }
    offsets.append(total);
    return offsets;
}

QByteArray encodeDictionary(const QStringList& strings)
{
    QByteArray bytes;
    for (const QString& text : strings) {
        bytes.append(text.toUtf8());
        bytes.append('\0');
    }
    return bytes;
}

int dictionaryPadding(qint64 size)
{
    return int(roundUpTo4(size) - size);
}

QByteArray encode(const QStringList& dictionary, const QVector<Material>& materials)
{
    return encode(FormatWord, encodeDictionary(dictionary), quint32(materials.size()), materials);
}

namespace {

template <typename T> void put(QByteArray& out, T value)
{
    const T little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&little), sizeof little);
}

} // namespace

BlockEncoder::BlockEncoder(qint32 formatWord, const QByteArray& dictionaryBytes,
                           quint32 materialCount)
{
    put(out, Magic);
    put(out, formatWord);
    put(out, quint32(dictionaryBytes.size()));
    out.append(dictionaryBytes);
    out.append(dictionaryPadding(dictionaryBytes.size()), '\0');
    base = out.size();
    put(out, materialCount);
}

void BlockEncoder::append(const Material& material)
{
    const qint64 start = out.size();
    for (const quint16 word :
         {material.modelId, material.mainShader, material.flags[0], material.variant,
          material.flags[1], material.flags[2], material.flags[3]})
        put(out, word);
    out.append(dictionaryPadding(start - base + HeadSize), '\0');
    put(out, material.paramCount);
    for (const Item& item : material.items) {
        put(out, item.name);
        put(out, item.type);
        if (item.isGlobalFlag())
            continue;
        switch (item.type) {
        case 2:
            put(out, quint64(item.first));
            put(out, quint64(item.second));
            break;
        case 5:
            put(out, quint64(item.first));
            break;
        case GlobalFlagType:
            put(out, quint16(item.first));
            break;
        default:
            put(out, quint16(item.first));
            put(out, quint16(item.second));
            break;
        }
    }
}

QByteArray encode(qint32 formatWord, const QByteArray& dictionaryBytes, quint32 materialCount,
                  const QVector<Material>& materials)
{
    BlockEncoder encoder(formatWord, dictionaryBytes, materialCount);
    for (const Material& material : materials)
        encoder.append(material);
    return encoder.take();
}

bool isSavedType(quint16 type)
{
    return type >= 1 && type <= 5;
}

QString hex64(quint64 value)
{
    return QStringLiteral("0x%1").arg(value, 16, 16, QLatin1Char('0'));
}

quint64 fnv1a_64(const char* data)
{
    quint64 hash = 0xCBF29CE484222325ull;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(data); p && *p; ++p) {
        hash ^= *p;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

quint64 fnv1a_64(const QByteArray& bytes)
{
    return fnv1a_64(bytes.constData());
}

QString texture_dir(const QString& savePath)
{
    static const char* const markers[] = {"/Characters/", "/Arena/",    "/Props/",
                                          "/Belts/",      "/Audience/", "/CAS/"};
    QVector<QString> present;
    for (const char* marker : markers)
        if (savePath.contains(QLatin1String(marker)))
            present.append(QLatin1String(marker));
    QString path = savePath;
    for (const QString& marker : present) {
        const int at = path.indexOf(marker);
        if (at >= 0)
            path = path.mid(at + 1);
    }
    QStringList parts = path.split(QLatin1Char('/'));
    parts.removeLast();
    return parts.join(QLatin1Char('/')) + QStringLiteral("/Textures/");
}

} // namespace mtls
