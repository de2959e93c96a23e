#include "mtls/libraryfile.h"

#include "catalogue/shadercatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace mtls {

FileBytes readLibraryFile(const QString& path)
{
    FileBytes result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.refusal =
            refusal(Refusal::Io, QStringLiteral("Cannot open file : ") + file.errorString());
        return result;
    }
    // Read in pieces to the end: a pipe's size is 0 beforehand (nothing is reserved), and a
    // file may grow. Asking for more than the file holds would reserve that much memory for
    // every read.
    result.data.reserve(int(qMin(file.size(), MaxLibraryBytes)));
    char buffer[64 * 1024];
    qint64 total = 0;
    for (;;) {
        const qint64 count = file.read(buffer, sizeof buffer);
        if (count <= 0)
            break;
        total += count;
        if (total > MaxLibraryBytes) {
            const qint64 size = file.isSequential() ? 0 : file.size();
            result.refusal = refusal(
                Refusal::TooLarge,
                size > MaxLibraryBytes
                    ? QStringLiteral("The file holds %1 bytes; at most %2 are read.")
                          .arg(size)
                          .arg(MaxLibraryBytes)
                    : QStringLiteral("The data is larger than %1 bytes, the most that is read.")
                          .arg(MaxLibraryBytes));
            result.data.clear();
            return result;
        }
        result.data.append(buffer, int(count));
    }
    if (file.error() != QFileDevice::NoError) {
        result.refusal =
            refusal(Refusal::Io, QStringLiteral("Cannot read file : ") + file.errorString());
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

SavePrediction predictSave(const Block& block, ShaderCatalogue& trial, const QString& savePath)
{
    SavePrediction prediction;
    const LoadedLibrary library = loadBlock(block, trial);
    if (library.grid.rows.isEmpty())
        return prediction; // nothing that a save would write
    const WriteResult result = rebuildLibrary(library, trial, savePath);
    prediction.refusal = result.refusal;
    prediction.refusedMaterial = result.refusedRow;
    if (!result.refusal)
        prediction.written = decode(result.bytes);
    return prediction;
}

QString savedSummary(const QByteArray& read, const QByteArray& written)
{
    const std::optional<Block> before = decode(read);
    const std::optional<Block> after = decode(written);
    return before && after ? changeSummary(*before, *after) : QString();
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
Refusal writeFailure(const QString& text)
{
    return refusal(Refusal::Io, text);
}

Refusal storeInPlace(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    const bool existed = file.exists();
    const QIODevice::OpenMode mode =
        existed ? QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered
                : QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;
    if (!file.open(mode))
        return writeFailure(QLatin1String(OpenFailure) + file.errorString());
    const QByteArray old = existed ? file.readAll() : QByteArray();
    if (file.error() != QFileDevice::NoError)
        return writeFailure(QStringLiteral("Cannot read file : ") + file.errorString());
    if (file.seek(0) && writeAll(file, bytes) && file.resize(bytes.size()))
        return {};
    const QString error = QLatin1String(WriteFailure) + file.errorString();
    file.unsetError();
    if (!existed) {
        file.close();
        return writeFailure(
            file.remove() ? error : error + QStringLiteral(". The file could not be removed."));
    }
    if (file.seek(0) && writeAll(file, old) && file.resize(old.size()))
        return writeFailure(error);
    return writeFailure(error + QStringLiteral(". The file could not be restored."));
}

} // namespace

QString absolutePath(const QString& typed)
{
    // Typed with backslashes, the path takes '/' before the texture folder rule sees it.
    const QString path = QDir::fromNativeSeparators(typed);
    if (QDir::isAbsolutePath(path))
        return QDir::cleanPath(path);
    QString base = QDir::currentPath(); // getcwd(): every link on the way resolved
    const QString shell = QString::fromLocal8Bit(qgetenv("PWD"));
    if (QDir::isAbsolutePath(shell) &&
        QFileInfo(shell).canonicalFilePath() == QFileInfo(base).canonicalFilePath())
        base = shell;
    return QDir::cleanPath(base + QLatin1Char('/') + path);
}

Refusal outputRefusal(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return refusal(Refusal::Usage,
                       QLatin1String(WriteFailure) + QStringLiteral("not a regular file"));
    return {};
}

Refusal storeLibrary(const QString& path, const WriteResult& result)
{
    if (result.refusal)
        return {};
    if (const Refusal notFile = outputRefusal(path))
        return notFile;
    const QByteArray& bytes = result.bytes;
    QSaveFile file(path);
    const bool refused = temporaryFileRefused && temporaryFileRefused(path);
    if (refused || !file.open(QIODevice::WriteOnly))
        return storeInPlace(path, bytes);
    if (!writeAll(file, bytes)) {
        const QString error = file.errorString();
        file.cancelWriting();
        return writeFailure(QLatin1String(WriteFailure) + error);
    }
    if (!file.commit())
        return writeFailure(QLatin1String(WriteFailure) + file.errorString());
    return {};
}

} // namespace mtls
