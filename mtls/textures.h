#pragma once
// Where a library's texture hashes point. The game finds a material's textures by the 64-bit
// hashes of its type-5 entries, and a save computes each one from the folder it saves into,
// so a library copied to another folder keeps hashes that point back where it came from.

#include "mtls/library.h"

namespace mtls {

struct TextureReference {
    enum Verdict {
        Matches,     // the stored hash is what a save to the path gives
        Placeholder, // the working file's PreviewHash: the library was never saved
        OtherFolder  // computed for another folder (or another texture name)
    };
    QString material;  // material name
    QString parameter; // name of the type-5 entry
    // The type-4 value the hash is computed from: the last one before the entry in the same
    // material, "" when there is none (or it is a "Global" cell), as the save takes it.
    QString texture;
    QString hashedPath;   // texture_dir(path) + texture + ".tex", lower-cased: the hashed text
    quint64 stored = 0;   // the hash in the file
    quint64 expected = 0; // fnv1a_64(hashedPath)
    Verdict verdict = Matches;
    qint64 blockOffset = 0; // where the type-5 entry starts
};

// "matches", "placeholder" or "points to another folder".
QString verdictText(TextureReference::Verdict verdict);

// Every type-5 entry of `block`, in file order, judged against a save to `path` (the path
// the block is read from, or any other one; it should be absolute, as the save's is).
QVector<TextureReference> textureReferences(const Block& block, const QString& path);

// The same one at a time: only the place reached is kept, so a block of many hashes is
// judged in little memory.
class TextureCursor {
public:
    TextureCursor(const Block& block, const QString& path);
    // The next reference into `reference`; false after the last.
    bool next(TextureReference& reference);

private:
    const Block& block;
    DictionaryIndex index;
    QString directory;
    int material = 0;
    int item = 0;
    QString currentTexture; // a material starts without one, as in the save
};

// The folder a save to `path` hashes textures under, lower-cased ("characters/hero_02/textures/").
QString hashedTextureDir(const QString& path);

// One line for the status bar: "All 12 texture hashes match this folder.", "9 of 12 texture
// hashes point to another folder; saving here gives hashes for characters/hero_02/textures/."
// and the like; "" when there are no references.
QString textureStatusLine(const QVector<TextureReference>& references, const QString& path);
// The same for the library bytes `data` read from `path`; "" when they are no MTLs block.
QString textureStatusLine(const QByteArray& data, const QString& path);

} // namespace mtls
