#pragma once
// Whether a file is a well-formed MTLs block, problem by problem with the byte offset where
// each one shows. A block without problems loads in full, refers only to strings that exist,
// and saves again without hitting the 16-bit limit of the record head.

#include "mtls/block.h"

#include <functional>

namespace mtls {

// Name and main shader offsets from this value on are refused by the writers.
constexpr quint32 HeadOffsetLimit = 65535;

// Every problem of `data`, ordered by offset (problems at the same offset in the order they
// were met); among them, as "warning: ..." texts, each entry that a save of the editor cannot
// write back as read: a type outside 1 to 5, a texture value at offset 0, a parameter name
// holding "Global", "/" or "\\". Empty for a well-formed block.
QVector<Finding> checkBlock(const QByteArray& data);
// The same problems in the same order, each handed to `report` as soon as no earlier one can
// follow it: memory stays small however many there are.
void checkBlock(const QByteArray& data, const std::function<void(const Finding&)>& report);

// What `info` tells of a block, read without keeping its strings or records: `block` holds
// the header words, counts and findings but neither dictionary nor materials; `shaders` the
// distinct "main::variant" names of the records read, sorted.
struct BlockSummary {
    Block block;
    QStringList shaders;
};
std::optional<BlockSummary> summarize(const QByteArray& data);

} // namespace mtls
