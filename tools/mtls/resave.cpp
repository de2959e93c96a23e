// `mtls resave`: a library opened and saved as the editor does, and what the save left behind
// or changed said on stderr.
#include "tools/mtls/commandline.h"

#include "authoring/session.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/blockcheck.h"
#include "mtls/libraryfile.h"

#include <QDir>
#include <QTextStream>

namespace cli {

namespace {

bool isModelFile(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('.')) + 1).toLower() == QLatin1String("mdl");
}

// What a load of a library that is not clean could not carry over, one line each, as it
// follows the file name.
QStringList losses(const mtls::Block& block, const QByteArray& data,
                   const mtls::LoadedLibrary& library)
{
    QStringList lines;
    if (library.truncated) {
        const int read = library.grid.rows.size();
        QString line =
            QStringLiteral(": %1 of %2 materials read").arg(read).arg(block.materialCount);
        if (!block.truncated)
            line += QStringLiteral("; the rest does not fit the table");
        else if (library.lastRowCut)
            line +=
                QStringLiteral("; the file ends inside material %1, which is left out").arg(read);
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
    // Refused before the load teaches the catalogue anything.
    if (const mtls::Refusal notFile = outputRefusal(out))
        return refuse(io.err, out, notFile);
    // The editor's load writes the catalogue back when it ends, and its save opens the
    // catalogue afresh: the same two steps here.
    authoring::OpenedLibrary opened;
    {
        ShaderCatalogue learning(catalogue);
        opened = authoring::openLibrary(in, authoring::Opening::Teach, &learning);
    }
    if (opened.refusal)
        return refuse(io.err, in, opened.refusal);
    const QByteArray& data = opened.data;
    std::optional<mtls::LoadedLibrary>& library = opened.library;
    library->records = {}; // taught already
    // As in the window, a material the file cut is never saved half.
    if (library->lastRowCut)
        library->grid.rows.removeLast();
    const QStringList lost = losses(*opened.block, data, *library);
    opened.block.reset(); // only the laid-out library is needed from here on
    auto sayLost = [&] {
        for (const QString& line : lost)
            io.err << "mtls: " << QDir::toNativeSeparators(in) << line << '\n';
    };
    if (library->grid.rows.isEmpty()) {
        sayLost();
        return refuse(io.err, in,
                      mtls::refusal(mtls::Refusal::Content, QLatin1String(NothingLoadedMessage)));
    }

    // Sent to standard output, the hashes are those of a save over the input.
    const QString savePath = savePathOf(isStandardOutput(out) ? in : out);
    mtls::WriteResult result;
    {
        const ShaderCatalogue reading(catalogue);
        result = mtls::rebuildLibrary(*library, reading, savePath);
    }
    // What the save refuses is the input's content: named by the input and its material.
    if (result.refusal) {
        mtls::Refusal said = result.refusal;
        if (said.kind == mtls::Refusal::Content && result.refusedRow >= 0 &&
            result.refusedRow < library->grid.rows.size())
            said.text =
                QStringLiteral("material %1 \"%2\": %3")
                    .arg(result.refusedRow)
                    .arg(library->grid.text(result.refusedRow, mtls::ModelIdColumn), said.text);
        return refuse(io.err, in, said);
    }
    if (const int failed = storeOutput(isStandardOutput(out) ? out : savePath, result, io))
        return failed;
    library.reset(); // only the saved bytes are needed from here on
    const QString changed = mtls::savedSummary(data, result.bytes);
    // After a save the editor loads the saved file, and that load teaches the catalogue too.
    {
        ShaderCatalogue learning(catalogue);
        mtls::loadLibrary(result.bytes, learning);
    }
    // The file is written as the editor writes it; what it left behind is said.
    sayLost();
    if (!changed.isEmpty())
        io.err << "resave: " << changed << "; `mtls check` lists them\n";
    return lost.isEmpty() ? Success : Problems;
}

} // namespace

void setupResave(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("IN"), QStringLiteral("The library to open."));
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("Where to save it."));
    addCatalogueOption(parser);
}

int runResave(const QCommandLineParser& parser, Streams io)
{
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2)
        return usageError(io, QStringLiteral("resave takes an input and an output file"));
    return resaveLibrary(files.at(0), files.at(1), cataloguePath(parser), io);
}

} // namespace cli
