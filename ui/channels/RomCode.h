#pragma once

#include <QString>
#include <array>
#include <cstdint>

// The 64-bit identifier of a 1-Wire device, held as four 16-bit words, word 0 first, each with
// the earlier byte in its high half; the family code is the high byte of word 0. Its text form
// is the four words as 16 upper-case hex digits.
class RomCode
{
public:
    using Words = std::array<uint16_t, 4>;

    static QString toText(const Words &words);
    // Exactly 16 hex digits (either case) give the four words; anything else fails and leaves
    // words unchanged.
    static bool ParseRomCode(const QString &text, Words &words);
    static uint8_t familyOf(const Words &words) { return uint8_t(words[0] >> 8); }
    // All four words 0xFFFF: no device is read on the channel.
    static bool isNoDevice(const Words &words);
    // All four words 0: an empty entry of a found-device list.
    static bool isEmpty(const Words &words);
    // 0-9, A-F or a-f.
    static bool isHexDigit(QChar c);
    // Whether the last byte is the 1-Wire CRC-8 (polynomial x^8 + x^5 + x^4 + 1) of the seven
    // before it, as in every real device's ROM code.
    static bool crcValid(const Words &words);
    // A device's code that fails its CRC: a typing error or a spoiled file. All 0xFFFF (no
    // device) and all 0 (an empty entry) are no device's code and keep their meaning.
    static bool failsCrc(const Words &words) { return !isNoDevice(words) && !isEmpty(words) && !crcValid(words); }
};
