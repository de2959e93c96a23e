#pragma once
// What a save writes differently from the block it was loaded from. The writer's rules stay
// (flag words and type lines come from the catalogue, global flag items and spaces go, ...);
// this says each of their effects field by field, so that nobody learns of them from a diff.

#include "mtls/block.h"

#include <functional>

namespace mtls {

struct SaveChange {
    enum Kind {
        GlobalFlagDropped, // a global shader flag item is not written
        FlagWord,          // a flag word comes from the catalogue
        Numbers,           // the two numbers of a type-1/3 entry come from the catalogue
        Values,            // the two values of a type-2 entry are written as zeros
        Type,              // the catalogue gives the parameter another type
        Spaces,            // a name or shader loses its spaces
        NotUtf8,           // a string's bytes are not UTF-8: they come back as U+FFFD
        GlobalTexture,     // a texture value holding "Global" (or no string) is written as ""
        TextureHash,       // a type-5 hash made from the save's folder
        Other,
    };
    Kind kind = Other;
    qint64 offset = 0; // of the field in the block that was read
    int material = -1; // record index; -1 for a dictionary string
    QString field;     // "material 2 \"Skin\": flag word 3", "dictionary string 4"
    QString was;       // what is there
    QString now;       // what a save writes

    // "<field>: <was> -> <now>"
    QString text() const;
};

// Hands `report` every difference between the block a library was read from and the block a
// save of it wrote, in the order of the read block, keeping none. Records are paired by
// position (a save writes one per record read), entries by their place among the record's
// entries.
using ChangeReport = std::function<void(const SaveChange&)>;
void saveChanges(const Block& read, const Block& written, const ChangeReport& report);

// The changes counted by kind in one phrase ("3 global flag items dropped, 2 flag words
// taken from the catalogue"), texture hashes left out; "" when nothing else changes.
QString changeSummary(const Block& read, const Block& written);

} // namespace mtls
