#pragma once
// The subcommands of mtls. Each returns the process exit status and writes its results to
// `out` and its errors to `err`.

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

int info(const QStringList& files, Streams io);
int dump(const QString& file, bool json, Streams io);
struct CheckOptions {
    bool hashes = false; // every texture hash a save into the file's folder would change
    bool notes = true;   // every other change such a save would make
    QString catalogue;   // the catalogue such a save reads
};
int check(const QStringList& files, Streams io, const CheckOptions& options);
int resave(const QString& in, const QString& out, const QString& catalogue, Streams io);
// Where the texture hashes of `file` point, judged against a save to `as` (or to `file`).
int textures(const QString& file, const std::optional<QString>& as, bool json, Streams io);

// What `check --hashes` adds: every texture hash of `data` that a save to `path` would change.
QVector<mtls::Finding> textureFindings(const QString& path, const QByteArray& data);
// Writes the block that `json` (in the form of `dump --json`) describes to `out`.
int pack(const QString& json, const QString& out, Streams io);
// Materials added, removed or changed from `a` to `b`: 0 when none, 1 when some.
int diff(const QString& a, const QString& b, Streams io);

// The two forms of `dump`, text or JSON, written to `out` as the block is read; false when
// `data` is not an MTLs block.
bool writeDump(const QByteArray& data, bool json, QTextStream& out);

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
