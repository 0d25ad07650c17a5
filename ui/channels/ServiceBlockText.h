#pragma once

#include "RegisterMap.h"
#include "RomCode.h"
#include "TChannelRecord.h"

#include <QList>
#include <QString>
#include <array>

// Texts and records the dispatch takes out of polled blocks for the search panels and the
// line tabs.
class ServiceBlockText
{
public:
    using Block = std::array<uint16_t, PollBlockSize>;

    // Line 0 or 1 of the service block: "New: " and the ROM code found by "find new".
    static QString newRomCode(const Block &service, int line);
    // The words of that ROM code.
    static RomCode::Words newRomWords(const Block &service, int line);
    // "Command: 0x05FF": the last command word the line received.
    static QString command(const Block &service, int line);
    // "Operation status: OK (0xFFFF)".
    static QString operationStatus(const Block &service, int line);
    // The 20 found-device records of a list block: channel = list position (1..20 for 1100,
    // 21..40 for 1200), the ROM code, and values[0] = the device's index in the gateway's list.
    static QList<TChannelRecord> foundRecords(uint16_t start, const Block &block);
    // The state of a line from the last statuses of its channels in channel order: the last
    // 1 (line in high) or 2 (short circuit) decides, 0 (OK) when there is none.
    static int lineState(const QList<uint8_t> &statuses);
    // The hidden register panel: "Starting Address: n", then 25 lines of four "offset - value"
    // pairs (offsets r, r+25, r+50, r+75) separated by tabs; lines end in a carriage return.
    static QString registerDump(uint16_t start, const Block &block);
};
