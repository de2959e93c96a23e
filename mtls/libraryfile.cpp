#include "mtls/libraryfile.h"

#include "catalogue/shadercatalogue.h"

#include <QFile>
#include <QSaveFile>

namespace mtls {

FileBytes readLibraryFile(const QString& path)
{
    FileBytes result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("Cannot open file : ") + file.errorString();
        return result;
    }
    // Asking for more than the file holds would reserve that much memory for every read.
    result.data = file.read(qMin(file.size(), MaxLibraryBytes));
    if (file.error() != QFileDevice::NoError) {
        result.error = QStringLiteral("Cannot read file : ") + file.errorString();
        result.data.clear();
    }
    return result;
}

std::optional<LoadedLibrary> loadLibrary(const QByteArray& data, ShaderCatalogue& catalogue)
{
    const std::optional<Block> block = decode(data);
    if (!block)
        return std::nullopt;
    LoadedLibrary library = layoutBlock(*block);
    for (const CatalogueRecord& record : library.records)
        catalogue.record(record.key, record.value);
    return library;
}

WriteResult rebuildLibrary(const LoadedLibrary& library, const ShaderCatalogue& catalogue,
                           const QString& savePath)
{
    QStringList dictionaryColumn;
    dictionaryColumn.reserve(library.dictionary.size());
    for (const DictionaryEntry& entry : library.dictionary)
        dictionaryColumn.append(entry.text);
    WriteOptions options;
    options.savePath = savePath;
    return writeLibrary(library.grid, dictionaryColumn, catalogue, options);
}

QString storeLibrary(const QString& path, const WriteResult& result)
{
    switch (result.outcome) {
    case WriteResult::Refused:
        return QString();
    case WriteResult::StringLimit: {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QStringLiteral("Cannot open file : ") + file.errorString();
        return QString();
    }
    case WriteResult::Written:
        break;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Cannot open file : ") + file.errorString();
    // A short write sets no error; asking for the rest brings out the reason.
    const QByteArray& bytes = result.bytes;
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 count = file.write(bytes.constData() + written, bytes.size() - written);
        if (count <= 0)
            break;
        written += count;
    }
    if (written != bytes.size() || !file.flush()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return QStringLiteral("Cannot write file : ") + error;
    }
    if (!file.commit())
        return QStringLiteral("Cannot write file : ") + file.errorString();
    return QString();
}

} // namespace mtls
