#pragma once
// Library files as the editor reads and saves them: the bytes of a file, what a load of them
// teaches the shader catalogue, the block that saving an unchanged library builds, and
// writing that block out. The editor's slots and the command-line tool share these, so that
// a batch re-save and a save from the window give the same bytes.

#include "mtls/savechanges.h"
#include "mtls/writer.h"

#include <optional>

class ShaderCatalogue;

namespace mtls {

// A library file larger than this is refused unread: no real block comes near it, and it
// keeps a hostile file from taking the memory of the machine.
constexpr qint64 MaxLibraryBytes = qint64(512) * 1024 * 1024;

struct FileBytes {
    QByteArray data;
    Refusal refusal; // Io ("Cannot open file : ...", "Cannot read file : ...") or TooLarge
};

// The whole file, read to the end of its data (a pipe has no size beforehand), or refused.
FileBytes readLibraryFile(const QString& path);

// Decodes `data` and records, key by key and only where absent, what a load meets in
// `catalogue`. Nothing is recorded and nothing returned when the data is not an MTLs block.
std::optional<LoadedLibrary> loadLibrary(const QByteArray& data, ShaderCatalogue& catalogue);
// The same for a block already decoded.
LoadedLibrary loadBlock(const Block& block, ShaderCatalogue& catalogue);

// The block that saving `library` unchanged to `savePath` builds (hashes from that path).
WriteResult rebuildLibrary(const LoadedLibrary& library, const ShaderCatalogue& catalogue,
                           const QString& savePath);

// What saving the library read as `block` to `savePath` would do, nothing written: its
// refusal with the record it is about, or the block it writes (see saveChanges). The load
// teaches `trial` first, as opening the file in the editor does.
struct SavePrediction {
    Refusal refusal;
    int refusedMaterial = -1;
    std::optional<Block> written; // none when refused or when there is nothing to save
};
SavePrediction predictSave(const Block& block, ShaderCatalogue& trial, const QString& savePath);
// What the save that wrote `written` changed in `read`, the library it was loaded from, in
// one phrase (see changeSummary).
QString savedSummary(const QByteArray& read, const QByteArray& written);

// Puts `result` on disk at `path`: a written block replaces the old file only once every
// byte of it is written (in a folder that takes no temporary file, the file is written in
// place and its old bytes put back when that fails); a refused result touches nothing.
// Io ("Cannot open file : ...", "Cannot write file : ...") when it fails.
Refusal storeLibrary(const QString& path, const WriteResult& result);

// Usage ("Cannot write file : not a regular file") when `path` exists and is no regular file
// (a device, a pipe, a folder, or a link to one): nothing may be renamed over those.
Refusal outputRefusal(const QString& path);

// `path` made absolute and clean the way the user reached it: through the shell's current
// folder (PWD) when that is where we are, so a folder reached through a link keeps the link's
// name. Links are never resolved: texture hashes are made from this path.
QString absolutePath(const QString& path);

// Tests stand in with this for a folder that takes no new file, which root cannot be
// refused: when set and true for `path`, the save acts as if no temporary file could be made.
extern bool (*temporaryFileRefused)(const QString& path);

} // namespace mtls
