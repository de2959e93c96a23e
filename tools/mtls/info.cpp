// `mtls info`: one line per file, read without keeping its strings or records.
#include "tools/mtls/commandline.h"

#include "mtls/blockcheck.h"
#include "mtls/libraryfile.h"

#include <QTextStream>

namespace cli {

namespace {

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

} // namespace

void setupInfo(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Libraries to read."),
                                 QStringLiteral("FILE..."));
}

int runInfo(const QCommandLineParser& parser, Streams io)
{
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return usageError(io, QStringLiteral("info needs at least one file"));
    int status = Success;
    for (const QString& path : files) {
        const mtls::FileBytes file = mtls::readLibraryFile(path);
        if (file.refusal) {
            status = std::max(status, refuse(io.err, path, file.refusal));
            continue;
        }
        // Only the counts and the shader names: no string or record is kept.
        if (const std::optional<mtls::BlockSummary> summary = mtls::summarize(file.data))
            io.out << infoLine(path, *summary) << '\n';
        else
            status = std::max(status, refuse(io.err, path, notLibrary()));
    }
    return status;
}

} // namespace cli
