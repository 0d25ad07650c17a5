#pragma once

#include "RegisterMap.h"

#include <array>
#include <cstdint>

// What a polled block must look like to be the block it was asked for. The channel blocks and
// the found-device lists have no field of a fixed range, so any content fits them; the service
// block carries the gateway's port settings, which the gateway keeps within their ranges. A
// block of another shape taken for the service block (a late answer of a channel block, say)
// shows up there as an address, speed, parity or stop-bit setting no gateway holds.
class BlockContent
{
public:
    using Registers = std::array<uint16_t, PollBlockSize>;

    // Whether the registers can be the block that starts at startAddress.
    static bool plausible(uint16_t startAddress, const Registers &registers);
};
