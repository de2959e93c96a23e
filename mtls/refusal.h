#pragma once
// Why a step stopped, decided where it stops. The window shows `text` as it is; mtls turns
// `kind` into its exit status. Nobody reads the kind out of the text.

#include <QString>

namespace mtls {

struct Refusal {
    enum Kind {
        None,        // the step went through
        Io,          // a file could not be opened, read or written
        Usage,       // the request itself cannot be carried out (a path, a name, an argument)
        NotLibrary,  // the input is not an MTLs block (or not the file it should be)
        Truncated,   // the input ends before what it announces
        TooLarge,    // the input is more than the editor shows or reads
        Content,     // what the input holds is refused (an unknown type, nothing to save...)
        StringLimit, // a reference does not fit its field
    };
    Kind kind = None;
    QString text;

    explicit operator bool() const { return kind != None; }
};

inline Refusal refusal(Refusal::Kind kind, const QString& text)
{
    return {kind, text};
}

} // namespace mtls
