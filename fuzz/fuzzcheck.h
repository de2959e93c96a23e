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
