#include "tools/mtls/commands.h"

#include "authoring/session.h"
#include "catalogue/shadercatalogue.h"
#include "mtls/libraryfile.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>

namespace cli {

namespace {

const char* const InvalidFileMessage = "Invalid File";

} // namespace

const char* const NothingLoadedMessage = "No MTL data loaded. Load/add a Material to save file.";

QString savePathOf(const QString& path)
{
    return mtls::absolutePath(path);
}

bool isStandardOutput(const QString& path)
{
    return path == QLatin1String("-");
}

mtls::Refusal outputRefusal(const QString& path)
{
    return isStandardOutput(path) ? mtls::Refusal() : mtls::outputRefusal(path);
}

int storeOutput(const QString& out, const mtls::WriteResult& result, Streams io)
{
    if (!isStandardOutput(out))
        return refuse(io.err, out, mtls::storeLibrary(out, result));
    io.out.flush();
    QIODevice* device = io.out.device();
    if (!device || device->write(result.bytes) != result.bytes.size())
        return refuse(
            io.err, QStringLiteral("standard output"),
            mtls::refusal(mtls::Refusal::Io, QStringLiteral("Cannot write file : ") +
                                                 (device ? device->errorString() : QString())));
    return Success;
}

void report(QTextStream& err, const QString& path, const QString& text)
{
    err << "mtls: " << QDir::toNativeSeparators(path) << ": " << text << '\n';
}

int exitStatus(const mtls::Refusal& refusal)
{
    switch (refusal.kind) {
    case mtls::Refusal::None:
        return Success;
    case mtls::Refusal::Io:
    case mtls::Refusal::Usage:
        return Failure;
    case mtls::Refusal::NotLibrary:
    case mtls::Refusal::Truncated:
    case mtls::Refusal::TooLarge:
    case mtls::Refusal::Content:
    case mtls::Refusal::StringLimit:
        break;
    }
    return Problems;
}

int refuse(QTextStream& err, const QString& path, const mtls::Refusal& refusal)
{
    if (!refusal)
        return Success;
    report(err, path, refusal.text);
    return exitStatus(refusal);
}

mtls::Refusal notLibrary()
{
    return mtls::refusal(mtls::Refusal::NotLibrary, QLatin1String(InvalidFileMessage));
}

std::optional<mtls::Block> readBlock(const QString& path, QTextStream& err, int& status)
{
    // What reads a library whole reads no more than the editor would show.
    authoring::OpenedLibrary opened = authoring::openLibrary(path, authoring::Opening::Decode);
    if (opened.refusal)
        status = refuse(err, path, opened.refusal);
    return std::move(opened.block);
}

} // namespace cli
