#pragma once

#include <QString>
#include <cstdint>

// What went wrong with an exchange on the gateway link, as the error counter tells its count
// apart and the traffic monitor filters frames:
// - Timeout: a read got no answer in its time (nothing, or only an answer after its time);
// - Crc: an answer of this gateway that failed the check: wrong CRC, cut short, or content that
//   cannot be the block asked for;
// - Exception: the gateway refused the request;
// - Foreign: a whole answer with a right CRC that is not this request's (another address);
// - Noise: bytes that answered nothing: before or behind an answer, or while nothing was asked.
enum class LinkFault : uint8_t { None, Timeout, Crc, Exception, Foreign, Noise };

class LinkFaults
{
public:
    static constexpr int Kinds = 5; // Timeout..Noise

    // The kind's name for a count of them: "1 timeout", "3 CRC errors", "2 noise".
    static QString counted(LinkFault kind, int count);
    // The kind's name as a heading: "Timeouts", "CRC errors", ...; empty for None.
    static QString title(LinkFault kind);
    // Timeout..Noise as 0..4; -1 for None.
    static int index(LinkFault kind) { return kind == LinkFault::None ? -1 : int(kind) - 1; }
    static LinkFault fromIndex(int i) { return i >= 0 && i < Kinds ? LinkFault(i + 1) : LinkFault::None; }
};
