#pragma once
// The subcommands of mtls. Each returns the process exit status and writes its results to
// `out` and its errors to `err`.

#include "mtls/block.h"

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
int check(const QStringList& files, Streams io);
int resave(const QString& in, const QString& out, const QString& catalogue, Streams io);

// The two forms of `dump`, text or JSON, written to `out` as the block is read; false when
// `data` is not an MTLs block.
bool writeDump(const QByteArray& data, bool json, QTextStream& out);

// Reads and decodes `path`; on failure reports why on `err` (the editor's words) and sets
// `status` to the exit status that failure calls for.
std::optional<mtls::Block> readBlock(const QString& path, QTextStream& err, int& status);

// "mtls: <path>: <text>" on `err`.
void report(QTextStream& err, const QString& path, const QString& text);

} // namespace cli
