#include "mtls/textures.h"

#include "mtls/library.h"
#include "mtls/writer.h"

namespace mtls {

namespace {

const QString GlobalMarker = QStringLiteral("Global");

// The text the save reads as the texture name: the cell the loader shows for the value of a
// type-4 entry. A zero value word shows no cell, so the save takes the next cell instead.
QString textureCell(const QVector<Item>& items, int at, const DictionaryIndex& index)
{
    const Item& item = items.at(at);
    QString text;
    if (item.valueWord() != 0)
        text = index.at(item.valueWord());
    else if (at + 1 < items.size() && !items.at(at + 1).isGlobalFlag())
        text = index.at(items.at(at + 1).name);
    // "Global" cells (also an offset that starts no string) are for display only.
    return text.contains(GlobalMarker) ? QString() : text;
}

QString hashes(int count)
{
    return count == 1 ? QStringLiteral("texture hash") : QStringLiteral("texture hashes");
}

// "All 12 texture hashes", "9 of 12 texture hashes", "The texture hash".
QString counted(int part, int total)
{
    if (part == total)
        return total == 1 ? QStringLiteral("The texture hash")
                          : QStringLiteral("All %1 texture hashes").arg(total);
    return QStringLiteral("%1 of %2 ").arg(part).arg(total) + hashes(total);
}

} // namespace

QString verdictText(TextureReference::Verdict verdict)
{
    switch (verdict) {
    case TextureReference::Matches:
        return QStringLiteral("matches");
    case TextureReference::Placeholder:
        return QStringLiteral("placeholder");
    case TextureReference::OtherFolder:
        break;
    }
    return QStringLiteral("points to another folder");
}

QString hashedTextureDir(const QString& path)
{
    return texture_dir(path).toLower();
}

TextureCursor::TextureCursor(const Block& block, const QString& path)
    : block(block), index(block.dictionary), directory(texture_dir(path))
{
}

bool TextureCursor::next(TextureReference& reference)
{
    for (; material < block.materials.size(); ++material, item = 0, currentTexture.clear()) {
        const Material& record = block.materials.at(material);
        while (item < record.items.size()) {
            const int at = item++;
            const Item& entry = record.items.at(at);
            if (entry.isGlobalFlag())
                continue;
            if (entry.type == 4)
                currentTexture = textureCell(record.items, at, index);
            if (entry.type != 5)
                continue;
            reference.material = index.at(record.modelId);
            reference.parameter = index.at(entry.name);
            reference.texture = currentTexture;
            reference.hashedPath = (directory + currentTexture + QStringLiteral(".tex")).toLower();
            reference.stored = entry.first;
            reference.expected = fnv1a_64(reference.hashedPath.toUtf8());
            reference.blockOffset = entry.blockOffset;
            if (reference.stored == reference.expected)
                reference.verdict = TextureReference::Matches;
            else if (reference.stored == PreviewHash)
                reference.verdict = TextureReference::Placeholder;
            else
                reference.verdict = TextureReference::OtherFolder;
            return true;
        }
    }
    return false;
}

QVector<TextureReference> textureReferences(const Block& block, const QString& path)
{
    QVector<TextureReference> references;
    TextureCursor cursor(block, path);
    for (TextureReference reference; cursor.next(reference);)
        references.append(reference);
    return references;
}

QString textureStatusLine(const QVector<TextureReference>& references, const QString& path)
{
    const int total = references.size();
    int elsewhere = 0;
    int placeholders = 0;
    for (const TextureReference& reference : references) {
        elsewhere += reference.verdict == TextureReference::OtherFolder ? 1 : 0;
        placeholders += reference.verdict == TextureReference::Placeholder ? 1 : 0;
    }
    if (total == 0)
        return QString();
    if (elsewhere == 0 && placeholders == 0)
        return counted(total, total) + (total == 1 ? QStringLiteral(" matches this folder.")
                                                   : QStringLiteral(" match this folder."));
    const QString savingHere =
        QStringLiteral("; saving here gives hashes for ") + hashedTextureDir(path) + '.';
    // The working file holds placeholders until the library is saved somewhere.
    if (elsewhere == 0)
        return counted(placeholders, total) +
               (placeholders == 1 ? QStringLiteral(" is a placeholder")
                                  : QStringLiteral(" are placeholders")) +
               QStringLiteral(" until the library is saved.");
    QString line = counted(elsewhere, total) +
                   (elsewhere == 1 ? QStringLiteral(" points") : QStringLiteral(" point")) +
                   QStringLiteral(" to another folder");
    if (placeholders > 0)
        line += QStringLiteral(" and %1 ").arg(placeholders) +
                (placeholders == 1 ? QStringLiteral("is a placeholder")
                                   : QStringLiteral("are placeholders"));
    return line + savingHere;
}

QString textureStatusLine(const QByteArray& data, const QString& path)
{
    const std::optional<Block> block = decode(data);
    return block ? textureStatusLine(textureReferences(*block, path), path) : QString();
}

} // namespace mtls
