#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// The Modbus RTU CRC-16 (polynomial 0xA001 reflected, start 0xFFFF, no final XOR), computed
// bytewise with the two 256-entry tables of high-order and low-order result bytes.
class ModbusCrc
{
public:
    // The CRC as a number; on the wire its low byte goes first.
    static uint16_t compute(const uint8_t *data, size_t length);
    static uint8_t lowByte(uint16_t crc) { return uint8_t(crc & 0xFF); }
    static uint8_t highByte(uint16_t crc) { return uint8_t(crc >> 8); }
    // The frame with its CRC appended, low byte first.
    static QByteArray appended(QByteArray frame);
    // Whether the last two bytes of the frame are the CRC of the bytes before them.
    static bool endsWithValidCrc(const QByteArray &frame);
};
