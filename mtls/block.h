#pragma once
// The MTLs block: a dictionary of zero-terminated UTF-8 strings followed by one record per
// material. Everything here is little-endian and works on plain values, never on widgets.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>
#include <optional>

namespace mtls {

constexpr quint32 Magic = 0x734C544D; // "MTLs"
constexpr qint32 FormatWord = 5;
constexpr int MagicOffset = 0;
constexpr int FormatOffset = 4;
constexpr int StringTableSizeOffset = 8;
constexpr int DictionaryOffset = 12;
constexpr int HeadSize = 14;               // seven u16 head fields of a record
constexpr quint16 GlobalFlagType = 0x3F80; // second word of a global shader flag item

// The entry types a save writes: 1 and 3 numbers, 2 values, 4 a texture, 5 a texture hash.
bool isSavedType(quint16 type);

struct DictionaryEntry {
    QString text;
    quint32 offset = 0; // byte distance from the first byte of the dictionary
    QByteArray bytes{}; // the stored bytes when they are not valid UTF-8 (`text` then differs)
    bool operator==(const DictionaryEntry& o) const { return text == o.text && offset == o.offset; }
};

struct Item {
    enum Kind { Entry, GlobalFlag };
    Kind kind = Entry;
    quint16 name = 0; // dictionary offset of the parameter name (0 for a global flag item)
    quint16 type = 0; // parameter type (0 or 0x3F80 for a global flag item)
    // Type 1/3: a and b. Type 2: the two u64 values. Type 4: value offset and the zero word.
    // Type 5: the hash in `first`. Type 0x3F80 entry: its one value word. Other types: the
    // two u16 words after name and type.
    quint64 first = 0;
    quint64 second = 0;
    qint64 blockOffset = 0; // where the item starts, from the start of the block

    bool isGlobalFlag() const { return kind == GlobalFlag; }
    // Entries other than type 5 carry a value word: the u16 right after name and type.
    bool hasValueWord() const { return kind == Entry && type != 5; }
    quint16 valueWord() const { return quint16(first & 0xFFFF); }
    bool operator==(const Item& o) const
    {
        return kind == o.kind && name == o.name && type == o.type && first == o.first &&
               second == o.second;
    }
};

// Size of an item after its name and type words.
int itemBodySize(const Item& item);

struct Material {
    quint16 modelId = 0;            // dictionary offset of the material name
    quint16 mainShader = 0;         // dictionary offset of the main shader name
    quint16 variant = 0;            // dictionary offset of the shader variant
    std::array<quint16, 4> flags{}; // flag words 1 to 4
    quint16 paramCount = 0;         // N as stored
    bool countRead = false;         // false when the data ended inside the head or padding
    QVector<Item> items;            // entries and global flag items, in file order
    bool complete = false;          // all N entries were read
    qint64 blockOffset = 0;         // where the record starts
    bool operator==(const Material& o) const
    {
        return modelId == o.modelId && mainShader == o.mainShader && variant == o.variant &&
               flags == o.flags && paramCount == o.paramCount && items == o.items;
    }
};

// Something the decoder met that a well-formed block does not have.
struct Finding {
    qint64 offset = 0; // byte offset in the block where it was noticed
    QString text;
};

struct Block {
    qint32 formatWord = FormatWord;
    quint32 stringTableSize = 0; // S as stored in the header
    qint64 stringCount = 0;      // dictionary strings read
    QVector<DictionaryEntry> dictionary;
    quint32 materialCount = 0;      // M as stored (0 when it could not be read)
    qint64 materialCountOffset = 0; // base of every record's alignment
    QVector<Material> materials;    // the records that could be read, at least their head
    qint64 materialsRead = 0;       // how many of those there are
    qint64 endOffset = 0;           // position just after the last byte read
    bool truncated = false;         // the data ended before everything M and N announce
    QVector<Finding> findings;      // in the order they were met

    QStringList dictionaryTexts() const;
};

// What a walk over a block hands out as it reads, in file order. A walk keeps nothing itself,
// so a visitor that keeps little reads any file in little memory.
class BlockVisitor {
public:
    virtual ~BlockVisitor() = default;
    // A dictionary string: its bytes without the zero byte, and its offset.
    virtual void string(const char* text, qint64 length, quint32 offset);
    // A record whose head was read whole, before its items; `material` has no items yet.
    virtual void head(const Material& material);
    // An item of the record whose head came last.
    virtual void item(const Item& item);
    // The same record once it has been read as far as the data goes (still without items).
    virtual void material(const Material& material);
};

// Reads a block as decode does, handing the strings and records to `visitor` instead of
// keeping them: `block` gets everything else (header words, counts, findings, truncated).
// Returns false when the data does not start with the MTLs magic.
bool walk(const QByteArray& data, Block& block, BlockVisitor& visitor);

// Reads a block. Returns nothing when the data does not start with the MTLs magic (also
// fewer than four bytes). Never trusts a count or an offset: it stops at the end of the data
// and keeps what it could read, recording why in `truncated` and `findings`.
std::optional<Block> decode(const QByteArray& data);

// Dictionary bytes of `strings` in order, each UTF-8 and zero-terminated, without padding.
QByteArray encodeDictionary(const QStringList& strings);
// Offsets of `strings` when laid out in order: running sum of UTF-8 length + 1. The element
// after the last is the string table size S.
QVector<qint64> dictionaryOffsets(const QStringList& strings);
// Zero bytes that follow a dictionary of `size` bytes.
int dictionaryPadding(qint64 size);

// Writes a block record by record, so that a writer never holds all its records at once.
class BlockEncoder {
public:
    // The header, the padded dictionary and the material count, stored as given.
    BlockEncoder(qint32 formatWord, const QByteArray& dictionaryBytes, quint32 materialCount);
    // One record with its alignment and its items by their type; offsets written as given.
    void append(const Material& material);
    QByteArray take() { return std::move(out); }

private:
    QByteArray out;
    qint64 base = 0; // where the material count starts: every record aligns on it
};

// Writes `dictionary` (texts only; offsets are recomputed) and the records of `materials`
// as one block: header with format word 5, padded dictionary, material count, records with
// their alignment, items by their type. Offsets inside the records are written as given.
QByteArray encode(const QStringList& dictionary, const QVector<Material>& materials);
// The same with every header value as given: `dictionaryBytes` are the zero-terminated
// strings without padding, `materialCount` is stored whatever `materials` holds.
QByteArray encode(qint32 formatWord, const QByteArray& dictionaryBytes, quint32 materialCount,
                  const QVector<Material>& materials);

// "0x" and sixteen hex digits: how every text of the tools shows a 64-bit value.
QString hex64(quint64 value);

// 64-bit FNV-1a over the bytes up to the first zero byte (or the end).
quint64 fnv1a_64(const char* data);
quint64 fnv1a_64(const QByteArray& bytes);

// Texture directory of a save path: cut before the first of the known top folders and
// replace the file name by "Textures/".
QString texture_dir(const QString& savePath);

} // namespace mtls
