#include "FrameBytes.h"

#include "ModbusCrc.h"

QByteArray hexBytes(const char *spacedHex)
{
    return QByteArray::fromHex(QByteArray(spacedHex).replace(' ', ""));
}

QByteArray withCrc(const QByteArray &body)
{
    const uint16_t crc =
        ModbusCrc::compute(reinterpret_cast<const uint8_t *>(body.constData()), size_t(body.size()));
    QByteArray frame = body;
    frame.append(char(ModbusCrc::lowByte(crc)));
    frame.append(char(ModbusCrc::highByte(crc)));
    return frame;
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
