#pragma once

// What the fuzz targets share: a broken property aborts, so that libFuzzer keeps the input that
// broke it. An exception that escapes a target aborts it too.

#include <QString>

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "%s: %s\n", what, detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

inline void check(bool holds, const char *what, const QString &detail)
{
    if (!holds)
        fail(what, detail);
}
