#pragma once

#include <QtGlobal>

// Line settings of the serial link. Data bits are always 8 and flow control is always off,
// because the gateway knows no other framing.
enum class TParity { paNone = 0, paOdd = 1, paEven = 2 };
enum class TStopBits { sbOne = 0, sbTwo = 1 };

struct LineSettings
{
    qint32 baudRate = 115200;
    TParity parity = TParity::paNone;
    TStopBits stopBits = TStopBits::sbOne;

    friend bool operator==(const LineSettings &, const LineSettings &) = default;
};
