#pragma once

#include "RomCode.h"
#include "TChannelRecord.h"

// Which device one channel stands for in what the bridge publishes, read after read. The first
// read that shows a device or a free position is taken at once; after that a change (another
// device, or free) counts only once two reads in a row show it, so one odd read neither
// withdraws an entity nor makes one. A read that shows neither (on a line with a fault nothing
// can be read, the gateway gives no ROM code) changes nothing and breaks a row: the channel
// keeps standing for its device.
class ChannelDevice
{
public:
    enum class Holds { Unknown, Free, Device };
    // How the last read compares with what the channel stands for.
    enum class LastRead { None, Agrees, Differs, Unreadable };

    void take(const TChannelRecord &record);
    // The port opened again: rows start anew, what the channel stands for stays.
    void restart();
    // Nothing known yet: stand for this device (its retained entity says it was there).
    void assume(const RomCode::Words &rom);

    Holds holds() const { return m_holds; }
    bool holdsDevice() const { return m_holds == Holds::Device; }
    const RomCode::Words &rom() const { return m_rom; }
    QString romText() const;
    LastRead lastRead() const;
    // The last two reads both showed what the channel stands for: an entity of anything else
    // may go.
    bool settled() const { return lastRead() == LastRead::Agrees && m_row >= 2; }

private:
    Holds m_holds = Holds::Unknown;
    RomCode::Words m_rom{};
    bool m_readSince = false; // a read came since the last restart
    Holds m_seen = Holds::Unknown; // what the last read showed (Unknown: unreadable)
    RomCode::Words m_seenRom{};
    int m_row = 0; // reads in a row that showed m_seen
};
