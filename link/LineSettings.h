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

    // Bits of one character on the line: start, 8 data, parity if any, stop.
    int bitsPerCharacter() const
    {
        return 1 + 8 + (parity == TParity::paNone ? 0 : 1) + (stopBits == TStopBits::sbTwo ? 2 : 1);
    }
    // How long one character takes on the line, in microseconds (0 at an unset speed).
    qint64 charTimeUs() const { return baudRate > 0 ? qint64(bitsPerCharacter()) * 1000000 / baudRate : 0; }
};
