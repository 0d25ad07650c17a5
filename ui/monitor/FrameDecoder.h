#pragma once

#include "LinkFault.h"

#include <QByteArray>
#include <QString>

// Says in words what a Modbus RTU frame on the gateway link is: who, which function, which
// registers or how many bytes, an exception's name, and whether the CRC is right. An answer is
// read against the request it follows, since a write's echo and a read answer look alike.
class FrameDecoder
{
public:
    struct Decoded
    {
        QString text;
        bool error = false; // bad CRC, exception answer, or cut short
        // What kind of error: a bad CRC or a cut-short frame of the address and function asked
        // is a CRC error, of any other a noise; a right frame of another address or function
        // a foreign answer.
        LinkFault fault = LinkFault::None;
    };

    static Decoded request(const QByteArray &frame);
    static Decoded answer(const QByteArray &frame, const QByteArray &request);
    static QString exceptionName(uint8_t code);
    static QString functionName(uint8_t function);
};
