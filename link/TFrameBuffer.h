#pragma once

#include <cstdint>

// One Modbus RTU frame in wire order, from the slave address to the last CRC byte. Len follows
// the 251 data bytes directly (it is byte 251 of the record), where the traffic display reads
// it. A frame never exceeds 251 bytes, so a function 16 request carries at most 121 registers.
struct TFrameBuffer
{
    static constexpr int Capacity = 251;

    uint8_t Data[Capacity] = {};
    uint8_t Len = 0;
};

static_assert(sizeof(TFrameBuffer) == 252, "Len must be byte 251 of the frame record");
