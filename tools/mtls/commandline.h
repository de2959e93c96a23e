#pragma once
// The command table of mtls. Each command file registers its commands with a static
// cli::Registration, so a new command joins the tool by its file alone:
//
//     static const cli::Registration packCommand({"pack", 50, "IN.json OUT", "...",
//                                                 setupPack, runPack});
//
// `order` places the command in `mtls --help`: info 10, dump 20, check 30, resave 40,
// pack 50, diff 60, textures 70, learn 80, shaders 90, add 100, replace 110, from-model 120.

#include "tools/mtls/commands.h"

#include <QCommandLineParser>
#include <QVector>

namespace cli {

struct Command {
    QString name;
    int order = 0;
    QString synopsis; // the arguments, as the usage line shows them
    QString summary;  // one sentence for the list of commands and the command's own help
    // Adds the command's options and positional arguments (--help is there already).
    void (*setup)(QCommandLineParser& parser) = nullptr;
    // Runs the command on parsed arguments; usage errors are returned as `Failure` after
    // usageError().
    int (*run)(const QCommandLineParser& parser, Streams io) = nullptr;
};

struct Registration {
    explicit Registration(const Command& command);
};

// Every registered command, in the order of `order`.
QVector<Command> commandTable();

// "mtls: <text>" and the pointer to the help on `err`; returns Failure.
int usageError(Streams io, const QString& text);

// The --catalogue option of the commands that read or write the catalogue.
void addCatalogueOption(QCommandLineParser& parser);
QString cataloguePath(const QCommandLineParser& parser);

} // namespace cli
