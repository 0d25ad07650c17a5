#pragma once

#include "ErrorGuard.h"

#include <QString>
#include <cstdio>
#include <cstdlib>

// Nothing on an in-memory line may throw: an error that reaches the application's handler is a
// fault, and the fuzz target stops on it so libFuzzer keeps the input. Once per process.
inline void abortOnErrorReport()
{
    static const bool installed = [] {
        ErrorGuard::setHandler([](const QString &message) {
            std::fprintf(stderr, "unexpected error: %s\n", qPrintable(message));
            std::abort();
        });
        return true;
    }();
    (void)installed;
}
