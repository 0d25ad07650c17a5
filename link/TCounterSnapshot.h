#pragma once

#include <cstdint>

// The message counters as handed to the counter change callback.
struct TCounterSnapshot
{
    int32_t Rx = 0;
    int32_t Tx = 0;
    int32_t Err = 0;
    bool Timeout = false;

    friend bool operator==(const TCounterSnapshot &, const TCounterSnapshot &) = default;
};
