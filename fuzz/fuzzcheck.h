#pragma once
// A broken property aborts, which libFuzzer reports and keeps like a crash.

#include <QString>
#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition, detail)                                                            \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property broken: %s\n  %s\n", __FILE__, __LINE__,         \
                         #condition, qUtf8Printable(QString(detail)));                             \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// The writer's reading of a number cell or list item: its low 16 bits, 0 when not a number.
inline quint16 lowWord(const QString& text)
{
    return quint16(text.toUInt() & 0xFFFF);
}

inline QString withoutSpaces(QString text)
{
    return text.remove(QLatin1Char(' '));
}
