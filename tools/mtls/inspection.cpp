// The command-line faces of info, dump, check and resave.
#include "tools/mtls/commandline.h"

namespace cli {

namespace {

const QString Json = QStringLiteral("json");
const QString Hashes = QStringLiteral("hashes");
const QString NoNotes = QStringLiteral("no-notes");

void files(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Libraries to read."),
                                 QStringLiteral("FILE..."));
}

void oneFile(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The library to read."));
    parser.addOption({Json, QStringLiteral("Stable JSON that diffs well.")});
}

void inAndOut(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("IN"), QStringLiteral("The library to open."));
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("Where to save it."));
    addCatalogueOption(parser);
}

void checkedFiles(QCommandLineParser& parser)
{
    files(parser);
    parser.addOption({Hashes, QStringLiteral("Also report every texture hash that does not match "
                                             "the folder the file lies in.")});
    parser.addOption({NoNotes, QStringLiteral("Leave out the notes on what a save of the file "
                                              "into its own folder changes.")});
    addCatalogueOption(parser);
}

int runInfo(const QCommandLineParser& parser, Streams io)
{
    if (parser.positionalArguments().isEmpty())
        return usageError(io, QStringLiteral("info needs at least one file"));
    return info(parser.positionalArguments(), io);
}

int runDump(const QCommandLineParser& parser, Streams io)
{
    if (parser.positionalArguments().size() != 1)
        return usageError(io, QStringLiteral("dump takes one file"));
    return dump(parser.positionalArguments().first(), parser.isSet(Json), io);
}

int runCheck(const QCommandLineParser& parser, Streams io)
{
    if (parser.positionalArguments().isEmpty())
        return usageError(io, QStringLiteral("check needs at least one file"));
    CheckOptions options;
    options.hashes = parser.isSet(Hashes);
    options.notes = !parser.isSet(NoNotes);
    options.catalogue = cataloguePath(parser);
    return check(parser.positionalArguments(), io, options);
}

int runResave(const QCommandLineParser& parser, Streams io)
{
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2)
        return usageError(io, QStringLiteral("resave takes an input and an output file"));
    return resave(files.at(0), files.at(1), cataloguePath(parser), io);
}

const Registration infoCommand({"info", 10, "FILE...",
                                "one line per file: materials, strings, dictionary size, shaders",
                                files, runInfo});
const Registration dumpCommand({"dump", 20, "FILE [--json]",
                                "the dictionary and every material with its items", oneFile,
                                runDump});
const Registration
    checkCommand({"check", 30, "FILE... [--hashes] [--no-notes]",
                  "every way a file is not a well-formed block, and what a save of it changes",
                  checkedFiles, runCheck});
const Registration resaveCommand({"resave", 40, "IN OUT",
                                  "open IN and save it as OUT exactly as the editor does", inAndOut,
                                  runResave});

} // namespace

} // namespace cli
