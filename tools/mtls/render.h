#pragma once
// How mtls shows the parts of a block in its text and JSON outputs: one form for a 64-bit
// value (the core's, which the save notes use too), a JSON string and an item's value,
// whichever command prints them.

#include "mtls/block.h"

#include <functional>

namespace cli {

using mtls::hex64;

// `text` as a JSON string, quotes included; also the quoted form of the text dumps.
QString jsonString(const QString& text);

// An item's value after its name and type, as the text outputs show it: "numbers 1 2",
// "values 0x... 0x...", "value " and the texture reference, "hash 0x...", "word 3",
// "words 1 2". `reference` shows the dictionary string at an offset.
QString itemValue(const mtls::Item& item, const std::function<QString(quint16)>& reference);

} // namespace cli
