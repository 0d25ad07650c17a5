#pragma once

#include <array>
#include <cstdint>

// A simulated 1-Wire device on one of the gateway's lines.
struct SimDevice
{
    std::array<uint16_t, 4> rom{}; // family code in the high byte of word 0
    int line = 0;                  // 0 or 1
    bool present = true;           // on the wire (a removed device stays known but silent)
    double temperature = 20.0;     // °C, drifts slowly
    double humidity = 45.0;        // %RH (family 0x19)
    bool chipConnected = false;    // iButton probe state (family 0x01)
    uint16_t counter = 0;          // iButton connections counter
    uint8_t forcedStatus = 0;      // a channel status the device always reports (0: none)

    uint8_t family() const { return uint8_t(rom[0] >> 8); }
    bool operator==(const SimDevice &other) const { return rom == other.rom; }
};
