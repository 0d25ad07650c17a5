#pragma once

#include <QString>
#include <cstdint>

// What the tool itself uses a gateway register for, where writing it does more than store a
// number: the gateway's port settings, answer delays and 1-Wire power control (settings), the
// lines' command registers (the device commands), the firmware update's registers, and the
// ROM code words of the 40 channels (write-rom, restore). A raw write to one of them needs the
// user's Yes.
class RegisterRole
{
public:
    // "register 1002 is the setting com0.baud, the speed of the gateway's COM 0 port"; empty for
    // a register the tool gives no such role.
    static QString of(uint16_t reg);
};
