#include "ModbusCrc.h"

#include <array>

namespace {

// Both tables follow from the reflected polynomial: entry i is the CRC register after shifting
// the byte i through eight steps, split into the byte that is XORed into the next running
// high byte (Hi) and the byte that becomes the next running low byte (Lo).
struct CrcTables
{
    std::array<uint8_t, 256> hi{};
    std::array<uint8_t, 256> lo{};

    constexpr CrcTables()
    {
        for (int i = 0; i < 256; ++i) {
            uint16_t crc = uint16_t(i);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
            hi[i] = uint8_t(crc & 0xFF);
            lo[i] = uint8_t(crc >> 8);
        }
    }
};

constexpr CrcTables kTables;

// Spot checks against the published Modbus tables.
static_assert(kTables.hi[1] == 0xC1 && kTables.lo[1] == 0xC0);
static_assert(kTables.hi[255] == 0x40 && kTables.lo[255] == 0x40);

} // namespace

QByteArray ModbusCrc::appended(QByteArray frame)
{
    const uint16_t crc = compute(reinterpret_cast<const uint8_t *>(frame.constData()), size_t(frame.size()));
    frame.append(char(lowByte(crc)));
    frame.append(char(highByte(crc)));
    return frame;
}

bool ModbusCrc::endsWithValidCrc(const QByteArray &frame)
{
    if (frame.size() < 3)
        return false;
    const uint16_t crc = compute(reinterpret_cast<const uint8_t *>(frame.constData()), size_t(frame.size() - 2));
    return uint8_t(frame[frame.size() - 2]) == lowByte(crc) && uint8_t(frame[frame.size() - 1]) == highByte(crc);
}

uint16_t ModbusCrc::compute(const uint8_t *data, size_t length)
{
    // A is the first CRC byte on the wire (the low byte), B the second.
    uint8_t a = 0xFF;
    uint8_t b = 0xFF;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t index = a ^ data[i];
        a = kTables.hi[index] ^ b;
        b = kTables.lo[index];
    }
    return uint16_t(b << 8 | a);
}
