#include "tools/mtls/commands.h"

#include "catalogue/shadercatalogue.h"
#include "mtls/blockcheck.h"
#include "mtls/libraryfile.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>

namespace cli {

namespace {

const char* const InvalidFileMessage = "Invalid File";

int worse(int a, int b)
{
    return std::max(a, b);
}

QString infoLine(const QString& path, const mtls::BlockSummary& summary)
{
    const mtls::Block& block = summary.block;
    const QStringList& names = summary.shaders;
    QString line =
        path + QStringLiteral(": %1 materials, %2 strings, %3 dictionary bytes, %4 shaders")
                   .arg(block.materialCount)
                   .arg(block.stringCount)
                   .arg(block.stringTableSize)
                   .arg(names.size());
    if (!names.isEmpty())
        line += QStringLiteral(": ") + names.join(QStringLiteral(", "));
    if (block.truncated)
        line += QStringLiteral("; truncated, %1 of %2 materials read")
                    .arg(block.materialsRead)
                    .arg(block.materialCount);
    return line;
}

bool isModelFile(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('.')) + 1).toLower() == QLatin1String("mdl");
}

} // namespace

const char* const NothingLoadedMessage = "No MTL data loaded. Load/add a Material to save file.";

QString savePathOf(const QString& path)
{
    // Typed with backslashes, the path takes '/' before the texture folder rule sees it.
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}

void report(QTextStream& err, const QString& path, const QString& text)
{
    err << "mtls: " << QDir::toNativeSeparators(path) << ": " << text << '\n';
}

std::optional<mtls::Block> readBlock(const QString& path, QTextStream& err, int& status)
{
    const mtls::FileBytes file = mtls::readLibraryFile(path);
    if (!file.error.isEmpty()) {
        report(err, path, file.error);
        status = Failure;
        return std::nullopt;
    }
    // What reads a library whole reads no more than the editor would show.
    const QString tooLarge = mtls::tooLargeMessage(file.data);
    if (!tooLarge.isEmpty()) {
        report(err, path, tooLarge);
        status = Problems;
        return std::nullopt;
    }
    std::optional<mtls::Block> block = mtls::decode(file.data);
    if (!block) {
        report(err, path, QLatin1String(InvalidFileMessage));
        status = Problems;
    }
    return block;
}

int info(const QStringList& files, Streams io)
{
    int status = Success;
    for (const QString& path : files) {
        const mtls::FileBytes file = mtls::readLibraryFile(path);
        if (!file.error.isEmpty()) {
            report(io.err, path, file.error);
            status = worse(status, Failure);
            continue;
        }
        // Only the counts and the shader names: no string or record is kept.
        if (const std::optional<mtls::BlockSummary> summary = mtls::summarize(file.data)) {
            io.out << infoLine(path, *summary) << '\n';
        } else {
            report(io.err, path, QLatin1String(InvalidFileMessage));
            status = worse(status, Problems);
        }
    }
    return status;
}

int dump(const QString& file, bool json, Streams io)
{
    const mtls::FileBytes bytes = mtls::readLibraryFile(file);
    if (!bytes.error.isEmpty()) {
        report(io.err, file, bytes.error);
        return Failure;
    }
    if (!writeDump(bytes.data, json, io.out)) {
        report(io.err, file, QLatin1String(InvalidFileMessage));
        return Problems;
    }
    return Success;
}

int check(const QStringList& files, Streams io, bool hashes)
{
    int status = Success;
    for (const QString& path : files) {
        const mtls::FileBytes file = mtls::readLibraryFile(path);
        if (!file.error.isEmpty()) {
            report(io.err, path, file.error);
            status = worse(status, Failure);
            continue;
        }
        qint64 count = 0;
        auto print = [&](const mtls::Finding& finding) {
            io.out << path << ':' << finding.offset << ": " << finding.text << '\n';
            ++count;
        };
        if (hashes) {
            // The hash findings come from a second pass: merge them in by offset.
            QVector<mtls::Finding> findings = mtls::checkBlock(file.data);
            findings += textureFindings(path, file.data);
            std::stable_sort(
                findings.begin(), findings.end(),
                [](const mtls::Finding& a, const mtls::Finding& b) { return a.offset < b.offset; });
            for (const mtls::Finding& finding : findings)
                print(finding);
        } else {
            // Each finding is written as it is made, however many there are.
            mtls::checkBlock(file.data, print);
        }
        if (count == 0) {
            io.out << path << ": ok\n";
            continue;
        }
        status = worse(status, Problems);
    }
    return status;
}

namespace {

// What a load of a library that is not clean could not carry over, one line each, as it
// follows the file name.
QStringList losses(const QByteArray& data, const mtls::LoadedLibrary& library)
{
    QStringList lines;
    if (library.truncated) {
        const std::optional<mtls::Block> block = mtls::decode(data);
        const int read = library.grid.rows.size();
        QString line =
            QStringLiteral(": %1 of %2 materials read").arg(read).arg(block->materialCount);
        if (!block->truncated)
            line += QStringLiteral("; the rest does not fit the table");
        else if (read > 0 && !block->materials.at(read - 1).complete)
            line += QStringLiteral("; the file ends inside material %1").arg(read - 1);
        else
            line += QStringLiteral("; the file ends before material %1").arg(read);
        lines.append(line);
    }
    for (const mtls::Finding& finding : mtls::checkBlock(data))
        lines.append(QStringLiteral(":%1: ").arg(finding.offset) + finding.text);
    return lines;
}

int resaveLibrary(const QString& in, const QString& out, const QString& catalogue, Streams io)
{
    if (isModelFile(in)) {
        report(io.err, in, QStringLiteral("a model file is no library: open it in the editor"));
        return Failure;
    }
    const mtls::FileBytes file = mtls::readLibraryFile(in);
    if (!file.error.isEmpty()) {
        report(io.err, in, file.error);
        return Failure;
    }
    const QString tooLarge = mtls::tooLargeMessage(file.data);
    if (!tooLarge.isEmpty()) {
        report(io.err, in, tooLarge);
        return Problems;
    }
    // The editor's load writes the catalogue back when it ends, and its save opens the
    // catalogue afresh: the same two steps here.
    std::optional<mtls::LoadedLibrary> library;
    {
        ShaderCatalogue learning(catalogue);
        library = mtls::loadLibrary(file.data, learning);
    }
    if (!library) {
        report(io.err, in, QLatin1String(InvalidFileMessage));
        return Problems;
    }
    if (library->grid.rows.isEmpty()) {
        report(io.err, in, QLatin1String(NothingLoadedMessage));
        return Problems;
    }
    library->records = {}; // taught already

    const QString savePath = savePathOf(out);
    mtls::WriteResult result;
    {
        const ShaderCatalogue reading(catalogue);
        result = mtls::rebuildLibrary(*library, reading, savePath);
    }
    if (result.outcome != mtls::WriteResult::Written) {
        report(io.err, out, result.message);
        return Problems;
    }
    const QString error = mtls::storeLibrary(savePath, result);
    if (!error.isEmpty()) {
        report(io.err, out, error);
        return Failure;
    }
    // The file is written as the editor writes it; what it left behind is said.
    const QStringList lost = losses(file.data, *library);
    library.reset(); // only the saved bytes are needed from here on
    // After a save the editor loads the saved file, and that load teaches the catalogue too.
    {
        ShaderCatalogue learning(catalogue);
        mtls::loadLibrary(result.bytes, learning);
    }
    for (const QString& line : lost)
        io.err << "mtls: " << QDir::toNativeSeparators(in) << line << '\n';
    return lost.isEmpty() ? Success : Problems;
}

} // namespace

int resave(const QString& in, const QString& out, const QString& catalogue, Streams io)
{
    return resaveLibrary(in, out, catalogue, io);
}

} // namespace cli
