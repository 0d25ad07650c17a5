#pragma once

#include <cstdint>

// One queued single-register write.
struct TWriteEntry
{
    uint16_t Value = 0;
    uint16_t Address = 0;

    friend bool operator==(const TWriteEntry &, const TWriteEntry &) = default;
};
