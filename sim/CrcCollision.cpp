#include "CrcCollision.h"

#include <cstdint>

namespace {

constexpr uint16_t kPolynomial = 0xA001;

uint16_t forward(uint16_t crc, uint8_t byte)
{
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 1) ? uint16_t((crc >> 1) ^ kPolynomial) : uint16_t(crc >> 1);
    return crc;
}

// The register before forward(crc, byte): a forward step that applied the polynomial leaves
// the top bit set, one that did not leaves it clear, so each bit step can be undone.
uint16_t backward(uint16_t crc, uint8_t byte)
{
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 0x8000) ? uint16_t(((crc ^ kPolynomial) << 1) | 1) : uint16_t(crc << 1);
    return uint16_t(crc ^ byte);
}

} // namespace

QByteArray CrcCollision::noiseBefore(const QByteArray &answer, int window, const QByteArray &prefix)
{
    const int noiseLength = int(prefix.size()) + 2;
    const QByteArray head = answer.left(window - noiseLength);
    if (head.size() != window - noiseLength || head.size() < 2)
        return prefix + QByteArray(2, '\0');
    // The window's last two bytes are the CRC it must carry, low byte first.
    const uint16_t target = uint16_t(uint8_t(head[head.size() - 2]) | uint8_t(head[head.size() - 1]) << 8);
    // The register the two chosen bytes must leave, found by undoing the answer's bytes.
    uint16_t needed = target;
    for (qsizetype i = head.size() - 3; i >= 0; --i)
        needed = backward(needed, uint8_t(head[i]));
    uint16_t start = 0xFFFF;
    for (char c : prefix)
        start = forward(start, uint8_t(c));
    for (int x = 0; x < 256; ++x) {
        const uint16_t afterX = forward(start, uint8_t(x));
        for (int y = 0; y < 256; ++y)
            if (forward(afterX, uint8_t(y)) == needed)
                return prefix + char(x) + char(y);
    }
    return prefix + QByteArray(2, '\0'); // not reached: the two bytes reach every register value
}
