#pragma once
// Rebuilds a complete MTLs block from the window's tables (as plain values) and the shader
// catalogue. Pure: nothing here touches a file or a widget.

#include "mtls/library.h"
#include "mtls/refusal.h"

class ShaderCatalogue;

namespace mtls {

struct WriteOptions {
    // Preview file: a 2-row dictionary column counts as a fresh window and is dropped, a
    // trailing "" always ends the dictionary, type-5 entries hold the placeholder.
    bool preview = false;
    QString savePath; // for the texture directory of the type-5 hashes (save only)
};

constexpr quint64 PreviewHash = 0x00000000DEADDEADull;

struct WriteResult {
    // None: `bytes` is the block. StringLimit ("String Limit Reached") or Content (an
    // unknown parameter type): the output is not to be touched, the text says why.
    Refusal refusal;
    int refusedRow = -1; // the grid row the refusal is about
    QByteArray bytes;
    QStringList hashDebugLines; // one "CACHE: <texture>" line per type-5 hash, in order
    QStringList dictionary;     // the rebuilt dictionary, in order
};

extern const char* const StringLimitMessage; // "String Limit Reached"
extern const char* const UnknownTypeMessage; // "Unknown parameter type: "

// The parameter count of a "SubMtls #" cell: a whole number from 0 to 65535 (spaces aside, as
// everywhere the writer reads a cell); nothing for any other text.
std::optional<quint16> parameterCount(const QString& text);
// Why a save refuses the count `text` of `material`.
QString countRefusal(const QString& material, const QString& text);

// `grid` is in the base layout (no swap column); `dictionaryColumn` holds the texts of
// column 1 of the dictionary table in row order ("" for a row without an item).
WriteResult writeLibrary(const MaterialGrid& grid, const QStringList& dictionaryColumn,
                         const ShaderCatalogue& catalogue, const WriteOptions& options);

} // namespace mtls
