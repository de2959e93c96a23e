#pragma once
// The writer target's input: a small line script that describes the window's tables and the
// catalogue, so that the fuzzer mutates meaningful structure and the seed generator can write
// real libraries as seeds. One command per line, its first byte says what it does:
//
//   D<text>            a row of the dictionary column
//   L<k>               a filler row of k * 1024 'x' (k up to 80), to reach the 16-bit limits
//   T<name>\t<line>    the catalogue's type line for a parameter name
//   F<shader>\t<list>  the catalogue's "Flags/" list for a full shader name, comma-separated
//   R                  starts a row of the materials grid
//   C<text>            appends a cell to the current row
//   N                  appends a cell without an item to the current row
//   P                  preview writer instead of a save
//   S<path>            the save path (texture directory of the hashes)
//
// Texts are UTF-8; a zero byte never reaches a cell, since every source of cell text stops at
// one. Unknown commands are ignored.

#include "catalogue/shadercatalogue.h"
#include "mtls/library.h"
#include "mtls/writer.h"

#include <QByteArray>

namespace fuzzscript {

struct WriterInput {
    mtls::MaterialGrid grid;
    QStringList dictionaryColumn;
    QVector<mtls::CatalogueRecord> records; // in the order given
    mtls::WriteOptions options;
};

WriterInput parse(const QByteArray& script);

// The script of a loaded library: its dictionary, the records its load makes and its grid.
QByteArray fromLibrary(const mtls::LoadedLibrary& library, const mtls::WriteOptions& options);

} // namespace fuzzscript
