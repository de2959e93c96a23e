#pragma once
// The commands of mtls. Each command's options (`setup...`) and body (`run...`) sit in the
// file named after it (learn, shaders, add, replace and from-model in authoring.cpp); the one
// table of names, synopses and summaries is in main.cpp.

#include "tools/mtls/commands.h"

#include <QCommandLineParser>
#include <QVector>

namespace cli {

struct Command {
    QString name;
    QString synopsis; // the arguments, as the usage line shows them
    QString summary;  // one sentence for the list of commands and the command's own help
    // Adds the command's options and positional arguments (--help is there already).
    void (*setup)(QCommandLineParser& parser) = nullptr;
    // Runs the command on parsed arguments; usage errors are returned as `Failure` after
    // usageError().
    int (*run)(const QCommandLineParser& parser, Streams io) = nullptr;
};

// Every command, in the order of `mtls --help`.
const QVector<Command>& commandTable();

void setupInfo(QCommandLineParser& parser);
int runInfo(const QCommandLineParser& parser, Streams io);
void setupDump(QCommandLineParser& parser);
int runDump(const QCommandLineParser& parser, Streams io);
void setupCheck(QCommandLineParser& parser);
int runCheck(const QCommandLineParser& parser, Streams io);
void setupResave(QCommandLineParser& parser);
int runResave(const QCommandLineParser& parser, Streams io);
void setupPack(QCommandLineParser& parser);
int runPack(const QCommandLineParser& parser, Streams io);
void setupDiff(QCommandLineParser& parser);
int runDiff(const QCommandLineParser& parser, Streams io);
void setupTextures(QCommandLineParser& parser);
int runTextures(const QCommandLineParser& parser, Streams io);
void setupLearn(QCommandLineParser& parser);
int runLearn(const QCommandLineParser& parser, Streams io);
void setupShaders(QCommandLineParser& parser);
int runShaders(const QCommandLineParser& parser, Streams io);
void setupAdd(QCommandLineParser& parser);
int runAdd(const QCommandLineParser& parser, Streams io);
void setupReplace(QCommandLineParser& parser);
int runReplace(const QCommandLineParser& parser, Streams io);
void setupFromModel(QCommandLineParser& parser);
int runFromModel(const QCommandLineParser& parser, Streams io);

// "mtls: <text>" and the pointer to the help on `err`; returns Failure.
int usageError(Streams io, const QString& text);

// The --catalogue option of the commands that read or write the catalogue.
void addCatalogueOption(QCommandLineParser& parser);
QString cataloguePath(const QCommandLineParser& parser);

} // namespace cli
