#pragma once

#include "RegisterMap.h"

#include <QByteArray>
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
    // The first registers of a read answer (address, function, byte count, registers high byte
    // first, CRC); those it does not hold are 0.
    static Registers registersOf(const QByteArray &answer);
    // The answer delay a gateway with this service block allows for: the larger of its ports'
    // (registers 1053 and 1054), at most TModbusKomunikator::MaxAnswerDelayMs.
    static int answerDelayMs(const Registers &serviceBlock);
};
