// A library through the editor's core on any bytes: the decoder takes "MTLs" blocks only and
// never reads past the data; the load lays out only what the data holds; and a save of what
// was loaded refuses with nothing written or writes a block that reads back whole.
#include "catalogue/shadercatalogue.h"
#include "fuzzcheck.h"
#include "mtls/libraryfile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // No copy: a read one byte past the end lands outside the fuzzer's buffer.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const std::optional<mtls::Block> block = mtls::decode(bytes);
    FUZZ_REQUIRE(block.has_value() == bytes.startsWith("MTLs"), "magic");
    if (!block)
        return 0;
    FUZZ_REQUIRE(block->endOffset <= bytes.size(), "read past the end");
    for (const mtls::Material& m : block->materials)
        for (const mtls::Item& item : m.items)
            FUZZ_REQUIRE(item.blockOffset + 4 + mtls::itemBodySize(item) <= bytes.size(), "item");
    // The editor's budget is decided on a count made without the layout: it must be exact.
    const mtls::LoadedLibrary laid = mtls::layoutBlock(*block);
    const std::optional<mtls::TableCells> cells = mtls::tableCells(bytes);
    FUZZ_REQUIRE(cells && cells->strings == laid.dictionary.size() &&
                     cells->rows == laid.grid.rows.size() &&
                     cells->columns == laid.grid.columnCount + 1,
                 "cells counted without the layout");
    ShaderCatalogue catalogue = ShaderCatalogue::inMemory();
    const mtls::LoadedLibrary library = *mtls::loadLibrary(bytes, catalogue);
    FUZZ_REQUIRE(library.grid.rows.size() <= block->materials.size(), "rows the data lacks");
    const mtls::WriteResult saved =
        mtls::rebuildLibrary(library, catalogue, QStringLiteral("/m/Characters/a/b.mtls"));
    if (saved.refusal) {
        FUZZ_REQUIRE(saved.bytes.isEmpty(), saved.refusal.text);
        return 0;
    }
    const std::optional<mtls::Block> again = mtls::decode(saved.bytes);
    FUZZ_REQUIRE(again && !again->truncated && again->findings.isEmpty(), "unreadable save");
    FUZZ_REQUIRE(again->materials.size() == library.grid.rows.size(), "one record per row");
    return 0;
}
