#pragma once
// Lays out MTLs blocks byte by byte for the tests, straight from the documented layout and
// independently of the codec under test: a dictionary of zero-terminated UTF-8 strings
// padded to 4, the material count, then records whose parameter count sits at a multiple of
// 4 from the material count field.

#include <QStringList>
#include <QtEndian>
#include <array>
#include <optional>

namespace testdata {

// An item as raw words: name, type, then the body bytes exactly as they are stored.
struct RawItem {
    quint16 name = 0;
    quint16 type = 0;
    QByteArray body;
};

struct RawMaterial {
    quint16 modelId = 0;
    quint16 mainShader = 0;
    quint16 variant = 0;
    std::array<quint16, 4> flags{};
    quint16 count = 0;
    QVector<RawItem> items;
};

// Little-endian bytes of a number.
template <typename T> QByteArray le(T value)
{
    QByteArray bytes(int(sizeof(T)), '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}
inline const auto le16 = [](quint16 value) { return le(value); };
inline const auto le32 = [](quint32 value) { return le(value); };
inline const auto le64 = [](quint64 value) { return le(value); };

// Items by their type, with the body sizes a reader expects.
inline const auto entry1 = [](quint16 name, quint16 a, quint16 b, quint16 type = 1) {
    return RawItem{name, type, le16(a) + le16(b)}; // 8 bytes (type 1 or 3)
};
inline const auto entry2 = [](quint16 name, quint64 x = 0, quint64 y = 0) {
    return RawItem{name, 2, le64(x) + le64(y)}; // 20 bytes
};
inline const auto entry4 = [](quint16 n, quint16 v) { return RawItem{n, 4, le16(v) + le16(0)}; };
inline const auto entry5 = [](quint16 name, quint64 hash) { return RawItem{name, 5, le64(hash)}; };
inline const auto entry3F80 = [](quint16 n, quint16 v) { return RawItem{n, 0x3F80, le16(v)}; };
inline const auto globalFlag = [](quint16 second) { return RawItem{0, second, {}}; }; // name 0

// Dictionary offset of the first occurrence of `text`: running sum of UTF-8 length + 1.
quint16 offsetOf(const QStringList& dictionary, const QString& text);

// The whole block. `claimedCount` replaces the material count field when given.
QByteArray buildBlock(const QStringList& dictionary, const QVector<RawMaterial>& materials,
                      std::optional<quint32> claimedCount = std::nullopt);

// The 78-byte example library: material "mat", shader yCS_gear::Normal, flag words 1 to 4,
// one type 4 parameter colorMap = tex_d. Written out literally.
QByteArray exampleBlock();

// A library that exercises every item kind, several record phases, a duplicate string, an
// empty string and non-ASCII text. Without its type-0x3F80 entry, which no writer can size,
// it is a library the editor can save.
QByteArray richBlock(bool withUnsizableEntry = true);

// A clean library drawn from `seed`: one to five materials over two shaders, entries of the
// types 1 to 5 (each name with one type), hashes as a save to `savePath` computes them, and
// sometimes a duplicate and an unused string. Saved unchanged to `savePath` it gives the same
// bytes.
QByteArray generatedLibrary(quint32 seed, const QString& savePath = QString());

} // namespace testdata
