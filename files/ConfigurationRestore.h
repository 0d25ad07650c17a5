#pragma once

#include "TChannelRecord.h"
#include "TTarvikKomunikator.h"

#include <QList>
#include <QString>

// What a restore of a configuration backup checks before it writes anything, and what it says
// when it ends, the same in the window and on the command line.
class ConfigurationRestore
{
public:
    // Why the backup must not be written at all (empty when it may be): record k must name
    // channel k + 1, or 0 for a position never read.
    static QString refusal(const QList<TChannelRecord> &records);
    // Channels whose ROM code in the backup fails its 1-Wire CRC (free positions aside): a bit
    // spoiled in the file, or a code typed wrong.
    static QList<int> badRomCodes(const QList<TChannelRecord> &records);
    // How many records name a channel (the others are not written).
    static int channelsNamed(const QList<TChannelRecord> &records);

    // What writing the backup changes, from the gateway's 40 channels as last read: "From the
    // last read, the ROM codes of channels 0-3, 7 change (5 channels); 35 stay the same." A
    // channel not read yet is named apart. Free positions count as the same however their
    // words read.
    static QString changes(const QList<TChannelRecord> &records, const QList<TChannelRecord> &current);

    // "Channels 0-3, 7" in the shown numbering.
    static QString channelList(const QList<int> &channels);
    // What the end of an import means for the gateway's channels.
    static QString outcome(const TTarvikKomunikator::ImportResult &result);
};
