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
    return loadBlock(*block, catalogue);
}

LoadedLibrary loadBlock(const Block& block, ShaderCatalogue& catalogue)
{
    LoadedLibrary library = layoutBlock(block);
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

bool (*temporaryFileRefused)(const QString& path) = nullptr;

namespace {

const char* const OpenFailure = "Cannot open file : ";
const char* const WriteFailure = "Cannot write file : ";

// A short write sets no error; asking for the rest brings out the reason.
bool writeAll(QFileDevice& file, const QByteArray& bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 count = file.write(bytes.constData() + written, bytes.size() - written);
        if (count <= 0)
            return false;
        written += count;
    }
    return file.flush();
}

// For a folder that takes no temporary file: the plain open decides, as it would for any
// program. The old bytes stay in memory and go back if the new ones do not fit.
QString storeInPlace(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    const bool existed = file.exists();
    const QIODevice::OpenMode mode =
        existed ? QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered
                : QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;
    if (!file.open(mode))
        return QLatin1String(OpenFailure) + file.errorString();
    const QByteArray old = existed ? file.readAll() : QByteArray();
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("Cannot read file : ") + file.errorString();
    if (file.seek(0) && writeAll(file, bytes) && file.resize(bytes.size()))
        return QString();
    const QString error = QLatin1String(WriteFailure) + file.errorString();
    file.unsetError();
    if (!existed) {
        file.close();
        return file.remove() ? error : error + QStringLiteral(". The file could not be removed.");
    }
    if (file.seek(0) && writeAll(file, old) && file.resize(old.size()))
        return error;
    return error + QStringLiteral(". The file could not be restored.");
}

} // namespace

QString storeLibrary(const QString& path, const WriteResult& result)
{
    if (result.outcome != WriteResult::Written)
        return QString();
    const QByteArray& bytes = result.bytes;
    QSaveFile file(path);
    const bool refused = temporaryFileRefused && temporaryFileRefused(path);
    if (refused || !file.open(QIODevice::WriteOnly))
        return storeInPlace(path, bytes);
    if (!writeAll(file, bytes)) {
        const QString error = file.errorString();
        file.cancelWriting();
        return QLatin1String(WriteFailure) + error;
    }
    if (!file.commit())
        return QLatin1String(WriteFailure) + file.errorString();
    return QString();
}

} // namespace mtls
