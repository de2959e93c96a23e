#pragma once
// What the commands of mtls share: exit statuses, the streams they write to, how a refusal
// is reported, and reading and storing libraries.

#include "mtls/block.h"
#include "mtls/refusal.h"
#include "mtls/writer.h"

#include <QStringList>

class QTextStream;

namespace cli {

enum ExitStatus {
    Success = 0,
    Problems = 1, // a file is not a clean library, or it could not be saved
    Failure = 2   // usage or I/O error
};

struct Streams {
    QTextStream& out;
    QTextStream& err;
};

// The exit status of a refusal: 2 for usage and I/O, 1 for everything about the input.
int exitStatus(const mtls::Refusal& refusal);
// "Invalid File": the data is no MTLs block.
mtls::Refusal notLibrary();
// "mtls: <path>: <text>" on `err`; returns the refusal's exit status.
int refuse(QTextStream& err, const QString& path, const mtls::Refusal& refusal);

// Reads and decodes `path`; on failure reports why on `err` (the editor's words) and sets
// `status` to the exit status that failure calls for.
std::optional<mtls::Block> readBlock(const QString& path, QTextStream& err, int& status);

// The absolute, clean path the save dialog would hand the editor: texture hashes depend on it.
QString savePathOf(const QString& path);
// "-" stands for standard output where a command writes a library.
bool isStandardOutput(const QString& path);
// Why `path` cannot take a library (see mtls::outputRefusal); never for "-".
mtls::Refusal outputRefusal(const QString& path);
// Stores `result` at `out` or sends it to standard output; the exit status.
int storeOutput(const QString& out, const mtls::WriteResult& result, Streams io);
// What the save button says when there is nothing to save.
extern const char* const NothingLoadedMessage;

// "mtls: <path>: <text>" on `err`.
void report(QTextStream& err, const QString& path, const QString& text);

} // namespace cli
