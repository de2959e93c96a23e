// mtls: batch inspection, checks, authoring and re-saving of MTLs material libraries, on the
// editor's own core. No widget, no display.
#include "tools/mtls/commandline.h"

#include "catalogue/shadercatalogue.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextCodec>
#include <QTextStream>
#include <cerrno>
#include <cstdio>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

namespace cli {

namespace {

// The catalogue the running command opened, if any.
QString& catalogueInUse()
{
    static QString path;
    return path;
}

// One line when what the command learnt could not be kept in the catalogue's file.
void reportUnsavedCatalogue(Streams io)
{
    if (catalogueInUse().isEmpty())
        return;
    const QString reason = ShaderCatalogue::unsavedReason(catalogueInUse());
    if (!reason.isEmpty())
        report(io.err, QFileInfo(catalogueInUse()).absoluteFilePath(),
               QStringLiteral("cannot save the shader catalogue (%1): what it learns holds for "
                              "this run only")
                   .arg(reason));
}

// Whether the running command took the --catalogue option.
bool& catalogueOptionAdded()
{
    static bool added = false;
    return added;
}

const char* const Epilogue =
    "\n"
    "Run mtls COMMAND --help for the options of one command.\n"
    "\n"
    "Exit status: 0 on success, 1 when a file is not a clean library or cannot be saved,\n"
    "2 for a usage or I/O error. The commands that read or write the shader catalogue use\n"
    "the editor's: MTLs_Shaders.ini in the current directory when it is there, else\n"
    "lathrine/MTLs_Shaders.ini in your data folder, unless --catalogue FILE is given. Files are\n"
    "independent of each other, so large batches can run in parallel, for example:\n"
    "  find mods -name '*.mtls' -print0 | xargs -0 -P 4 -n 50 mtls check\n";

constexpr int SummaryColumn = 39;

QString overview()
{
    QString text = QStringLiteral(
        "Usage: mtls COMMAND [ARGUMENTS]\n"
        "\n"
        "Batch work on MTLs material libraries (.mtls) with the same core as the Lathrine "
        "editor.\n\nCommands:\n");
    for (const Command& command : commandTable()) {
        const QString head = QStringLiteral("  %1 %2").arg(command.name, command.synopsis);
        // A long synopsis takes a line of its own.
        if (head.size() > SummaryColumn - 2)
            text += head + QLatin1Char('\n') + QString(SummaryColumn, QLatin1Char(' '));
        else
            text += head.leftJustified(SummaryColumn);
        text += command.summary + QLatin1Char('\n');
    }
    return text + QLatin1String(Epilogue);
}

// QCommandLineParser names an unknown option without its dashes.
QString unknownOption(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

int runCommand(const Command& command, const QStringList& arguments, Streams io)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(command.summary);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    parser.addOption(help);
    command.setup(parser);
    // parse(), not process(): a usage error must end with our status, not Qt's exit().
    if (!parser.parse(QStringList{QStringLiteral("mtls")} + arguments)) {
        if (!parser.unknownOptionNames().isEmpty())
            return usageError(
                io, QStringLiteral("unknown option %1 for %2")
                        .arg(unknownOption(parser.unknownOptionNames().first()), command.name));
        return usageError(io, parser.errorText());
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        const int usageEnd = text.indexOf(QLatin1Char('\n'));
        io.out << QStringLiteral("Usage: mtls %1 [options] %2").arg(command.name, command.synopsis)
               << text.mid(usageEnd);
        return Success;
    }
    if (catalogueOptionAdded()) {
        const QString catalogue = parser.value(QStringLiteral("catalogue"));
        if (const mtls::Refusal refusal = ShaderCatalogue::refusalFor(catalogue))
            return refuse(io.err, catalogue, refusal);
    }
    const int status = command.run(parser, io);
    reportUnsavedCatalogue(io);
    return status;
}

// The position (from 1) of the first argument whose bytes are not UTF-8, 0 when all are.
int firstNonUtf8Argument(int argc, char* argv[])
{
#ifdef Q_OS_WIN
    // Windows gives the arguments as UTF-16, which arguments() reads; argv is their ANSI copy.
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    return 0;
#endif
    QTextCodec* utf8 = QTextCodec::codecForName("UTF-8");
    for (int i = 1; i < argc; ++i) {
        QTextCodec::ConverterState state;
        utf8->toUnicode(argv[i], int(std::strlen(argv[i])), &state);
        if (state.invalidChars > 0 || state.remainingChars > 0)
            return i;
    }
    return 0;
}

} // namespace

const QVector<Command>& commandTable()
{
    static const QVector<Command> commands{
        {"info", "FILE...", "one line per file: materials, strings, dictionary size, shaders",
         setupInfo, runInfo},
        {"dump", "FILE [--json]", "the dictionary and every material with its items", setupDump,
         runDump},
        {"check", "FILE... [--hashes] [--no-notes]",
         "every way a file is not a well-formed block, and what a save of it changes", setupCheck,
         runCheck},
        {"resave", "IN OUT", "open IN and save it as OUT exactly as the editor does", setupResave,
         runResave},
        {"pack", "IN.json OUT", "write the library a dump --json describes", setupPack, runPack},
        {"diff", "A B", "materials added, removed or changed from A to B", setupDiff, runDiff},
        {"textures", "FILE [--as PATH] [--json]",
         "where each texture hash points, judged where FILE lies", setupTextures, runTextures},
        {"learn", "LIB...", "teach the catalogue what opening each library teaches it", setupLearn,
         runLearn},
        {"shaders", "[--json]", "the shaders the catalogue knows, as the dialog lists them",
         setupShaders, runShaders},
        {"add", "LIB NAME SHADER [NAME SHADER...] -o OUT",
         "open LIB, add materials as the dialog does, save as OUT", setupAdd, runAdd},
        {"replace", "LIB ROW NAME SHADER -o OUT", "the same through the MODIFY button of a row",
         setupReplace, runReplace},
        {"from-model", "MODEL.mdl... -o DIR [--dry-run]",
         "a library per model, as opening it in the editor and saving it gives", setupFromModel,
         runFromModel},
    };
    return commands;
}

int usageError(Streams io, const QString& text)
{
    io.err << "mtls: " << text << "\nRun mtls --help for the commands.\n";
    return Failure;
}

void addCatalogueOption(QCommandLineParser& parser)
{
    catalogueOptionAdded() = true;
    parser.addOption({QStringLiteral("catalogue"),
                      QStringLiteral("The shader catalogue (default: the editor's, "
                                     "MTLs_Shaders.ini in the current directory when it is "
                                     "there, else lathrine/MTLs_Shaders.ini in your data "
                                     "folder)."),
                      QStringLiteral("FILE"), ShaderCatalogue::defaultPath()});
}

QString cataloguePath(const QCommandLineParser& parser)
{
    catalogueInUse() = parser.value(QStringLiteral("catalogue"));
    return catalogueInUse();
}

int run(QStringList arguments, Streams io)
{
    if (arguments.isEmpty())
        return usageError(io, QStringLiteral("no command given"));
    const QString name = arguments.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        io.out << overview();
        return Success;
    }
    for (const Command& command : commandTable())
        if (command.name == name)
            return runCommand(command, arguments, io);
    return usageError(io, QStringLiteral("unknown command %1").arg(name));
}

} // namespace cli

int main(int argc, char* argv[])
{
#ifdef __GLIBC__
    // Large blocks (a library's items, a laid-out row) go back to the system when freed, so
    // the peak of a run is what it holds at once, not what it once held.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
#ifdef Q_OS_WIN
    // Lines end in '\n' as on Linux, so that output compares byte for byte everywhere.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // Dumps are compared byte for byte, whatever the locale of the shell.
    out.setCodec(QTextCodec::codecForName("UTF-8"));
    err.setCodec(QTextCodec::codecForName("UTF-8"));
    int status = cli::Failure;
    // A name that does not decode would name another file, or none: refuse it as it is.
    if (const int position = cli::firstNonUtf8Argument(argc, argv)) {
        err << "mtls: argument " << position << " is not valid UTF-8; file names must be UTF-8\n";
    } else {
        QStringList args = QCoreApplication::arguments();
        args.removeFirst();
        status = cli::run(args, {out, err});
    }
    out.flush();
    // What was asked for did not arrive (a full disk, a closed pipe): the run failed.
    if (out.status() != QTextStream::Ok || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        err << "mtls: standard output: Cannot write file : " << std::strerror(errno) << '\n';
        status = cli::Failure;
    }
    err.flush();
    return status;
}
