#include "FrameBytes.h"

#include "ModbusCrc.h"

QByteArray hexBytes(const char *spacedHex)
{
    return QByteArray::fromHex(QByteArray(spacedHex).replace(' ', ""));
}

QByteArray withCrc(const QByteArray &body)
{
    return ModbusCrc::appended(body);
}

QByteArray readAnswer(uint8_t address, const QList<uint16_t> &registers)
{
    QByteArray body;
    body.append(char(address));
    body.append(char(0x03));
    body.append(char(registers.size() * 2));
    for (uint16_t r : registers) {
        body.append(char(r >> 8));
        body.append(char(r & 0xFF));
    }
    return withCrc(body);
}

QList<uint16_t> serviceRegisters(uint16_t answerDelayMs)
{
    QList<uint16_t> r(100, 0);
    // Both ports at address 1, 9600 Bd, one stop bit, no parity: settings a gateway can hold.
    r[1] = 1;
    r[2] = 96;
    r[3] = 1;
    r[4] = 96;
    r[5] = 1;
    r[7] = 1;
    r[53] = answerDelayMs;
    r[54] = answerDelayMs;
    return r;
}
