#pragma once

#include "RegisterMap.h"

#include <array>
#include <cstddef>
#include <cstdint>

// One channel as the gateway reports it: channel number 1..40, the ROM code words (family
// code in the high byte of word 0), Value1..Value5 and the status byte.
struct TChannelRecord
{
    uint8_t channel = 0;
    std::array<uint16_t, ChannelMap::RomWords> rom{};
    std::array<uint16_t, ChannelMap::ValueCount> values{};
    uint8_t status = 0;

    // Cuts record k (0..9) out of a channel block whose first channel is firstChannel.
    static TChannelRecord fromBlock(const std::array<uint16_t, PollBlockSize> &block, int k,
                                    int firstChannel)
    {
        TChannelRecord r;
        const int base = k * ChannelMap::RecordSize;
        r.channel = uint8_t(firstChannel + k);
        for (int i = 0; i < ChannelMap::RomWords; ++i)
            r.rom[size_t(i)] = block[size_t(base + ChannelMap::RomOffset + i)];
        for (int i = 0; i < ChannelMap::ValueCount; ++i)
            r.values[size_t(i)] = block[size_t(base + ChannelMap::ValueOffset + i)];
        r.status = uint8_t(block[size_t(base + ChannelMap::StatusOffset)] & 0xFF);
        return r;
    }

    friend bool operator==(const TChannelRecord &, const TChannelRecord &) = default;
};
