// mtls: batch inspection, checks and re-saving of MTLs material libraries, on the editor's
// own core. No widget, no display.
#include "tools/mtls/commands.h"

#include "catalogue/shadercatalogue.h"

#include <QCoreApplication>
#include <QTextCodec>
#include <QTextStream>
#include <cstdio>

namespace {

const char* const Usage =
    "Usage: mtls COMMAND [ARGUMENTS]\n"
    "\n"
    "Batch work on MTLs material libraries (.mtls) with the same core as the Lathrine editor.\n"
    "\n"
    "Commands:\n"
    "  info FILE...                      one line per file: materials, dictionary strings,\n"
    "                                    dictionary size and the shaders used\n"
    "  dump FILE [--json]                the dictionary and every material with its items;\n"
    "                                    --json writes stable JSON that diffs well\n"
    "  check FILE... [--hashes]          every way a file is not a well-formed block, each\n"
    "                                    with its byte offset; --hashes adds every texture\n"
    "                                    hash that does not match the file's own folder\n"
    "  resave IN OUT [--catalogue FILE]  load IN and save it as OUT exactly as the editor\n"
    "                                    does; the shader catalogue is MTLs_Shaders.ini in\n"
    "                                    the current directory unless FILE is given\n"
    "  textures FILE [--as PATH] [--json]\n"
    "                                    each texture hash: material, parameter, the texture\n"
    "                                    path it should stand for when saved where FILE lies\n"
    "                                    (or at PATH) and whether it does\n"
    "  pack IN.json OUT                  write the library that a dump --json describes,\n"
    "                                    offsets and numbers as the JSON gives them\n"
    "  diff A B                          materials added, removed or changed from A to B;\n"
    "                                    exit status 1 when they differ\n"
    "\n"
    "Exit status: 0 on success, 1 when a file is not a clean library or cannot be saved,\n"
    "2 for a usage or I/O error. Files are independent of each other, so large batches can\n"
    "run in parallel, for example:\n"
    "  find mods -name '*.mtls' -print0 | xargs -0 -P 4 -n 50 mtls check\n";

struct Arguments {
    QString command;
    QStringList files;
    bool json = false;
    bool help = false;
    bool hashes = false;
    std::optional<QString> as;
    std::optional<QString> catalogue;
    QString error;
};

Arguments parse(QStringList args)
{
    Arguments parsed;
    if (args.isEmpty()) {
        parsed.error = QStringLiteral("no command given");
        return parsed;
    }
    parsed.command = args.takeFirst();
    if (parsed.command == QLatin1String("--help") || parsed.command == QLatin1String("-h") ||
        parsed.command == QLatin1String("help")) {
        parsed.help = true;
        return parsed;
    }
    bool optionsEnded = false;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            parsed.files.append(arg);
        } else if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            parsed.help = true;
        } else if (arg == QLatin1String("--json") &&
                   (parsed.command == QLatin1String("dump") ||
                    parsed.command == QLatin1String("textures"))) {
            parsed.json = true;
        } else if (arg == QLatin1String("--hashes") && parsed.command == QLatin1String("check")) {
            parsed.hashes = true;
        } else if (arg == QLatin1String("--as") && parsed.command == QLatin1String("textures")) {
            if (args.isEmpty()) {
                parsed.error = QStringLiteral("--as needs a path");
                return parsed;
            }
            parsed.as = args.takeFirst();
        } else if (arg == QLatin1String("--catalogue") &&
                   parsed.command == QLatin1String("resave")) {
            if (args.isEmpty()) {
                parsed.error = QStringLiteral("--catalogue needs a file name");
                return parsed;
            }
            parsed.catalogue = args.takeFirst();
        } else if (arg.startsWith(QLatin1String("--catalogue=")) &&
                   parsed.command == QLatin1String("resave")) {
            parsed.catalogue = arg.mid(int(qstrlen("--catalogue=")));
        } else {
            parsed.error = QStringLiteral("unknown option %1 for %2").arg(arg, parsed.command);
            return parsed;
        }
    }
    return parsed;
}

// The number of file arguments each command takes: at least `min`, at most `max` (-1: any).
bool fileCountFits(const Arguments& args, int min, int max)
{
    return args.files.size() >= min && (max < 0 || args.files.size() <= max);
}

int run(const Arguments& args, cli::Streams io)
{
    auto usageError = [&io](const QString& text) {
        io.err << "mtls: " << text << "\nRun mtls --help for the commands.\n";
        return int(cli::Failure);
    };
    if (!args.error.isEmpty())
        return usageError(args.error);
    if (args.help) {
        io.out << Usage;
        return cli::Success;
    }
    if (args.command == QLatin1String("info")) {
        if (!fileCountFits(args, 1, -1))
            return usageError(QStringLiteral("info needs at least one file"));
        return cli::info(args.files, io);
    }
    if (args.command == QLatin1String("dump")) {
        if (!fileCountFits(args, 1, 1))
            return usageError(QStringLiteral("dump takes one file"));
        return cli::dump(args.files.first(), args.json, io);
    }
    if (args.command == QLatin1String("check")) {
        if (!fileCountFits(args, 1, -1))
            return usageError(QStringLiteral("check needs at least one file"));
        return cli::check(args.files, io, args.hashes);
    }
    if (args.command == QLatin1String("resave")) {
        if (!fileCountFits(args, 2, 2))
            return usageError(QStringLiteral("resave takes an input and an output file"));
        return cli::resave(
            args.files.at(0), args.files.at(1),
            args.catalogue.value_or(QString::fromLatin1(ShaderCatalogue::DefaultFileName)), io);
    }
    if (args.command == QLatin1String("textures")) {
        if (!fileCountFits(args, 1, 1))
            return usageError(QStringLiteral("textures takes one file"));
        return cli::textures(args.files.first(), args.as, args.json, io);
    }
    if (args.command == QLatin1String("pack")) {
        if (!fileCountFits(args, 2, 2))
            return usageError(QStringLiteral("pack takes a JSON file and an output file"));
        return cli::pack(args.files.at(0), args.files.at(1), io);
    }
    if (args.command == QLatin1String("diff")) {
        if (!fileCountFits(args, 2, 2))
            return usageError(QStringLiteral("diff takes two files"));
        return cli::diff(args.files.at(0), args.files.at(1), io);
    }
    return usageError(QStringLiteral("unknown command %1").arg(args.command));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    QTextStream out(stdout);
    QTextStream err(stderr);
    // Dumps are compared byte for byte, whatever the locale of the shell.
    out.setCodec(QTextCodec::codecForName("UTF-8"));
    err.setCodec(QTextCodec::codecForName("UTF-8"));
    const int status = run(parse(args), {out, err});
    out.flush();
    err.flush();
    return status;
}
