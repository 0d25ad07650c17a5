#pragma once

#include <cstdint>

// The 1-Wire CRC-8 (polynomial x^8 + x^5 + x^4 + 1, reflected 0x8C, start 0) that ends every
// device's ROM code.
class OneWireCrc
{
public:
    static uint8_t compute(const uint8_t *data, int length);
};
