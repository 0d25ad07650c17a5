#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the fuzz target with a message: libFuzzer then keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

// Creates the one QCoreApplication of the process (timers and queued calls need it) and keeps
// Qt's debug, info and warning messages out of the fuzzer's output. Fatal messages (a failed
// Q_ASSERT) still abort with their text.
void startQtOnce();

#include <QString>
// Writes the fuzz input to a scratch file of this process (the loaders under test read files)
// and returns its path.
QString writeScratchFile(const unsigned char *data, unsigned long size, const char *suffix);
