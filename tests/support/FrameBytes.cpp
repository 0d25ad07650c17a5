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
