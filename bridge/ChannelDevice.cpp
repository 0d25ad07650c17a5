#include "ChannelDevice.h"

#include "BridgeMessages.h"
#include "RegisterMap.h"

void ChannelDevice::take(const TChannelRecord &record)
{
    m_readSince = true;
    Holds seen = Holds::Unknown;
    if (BridgeMessages::isUsed(record))
        seen = Holds::Device;
    else if (record.status == ChannelStatus::FreePosition)
        seen = Holds::Free;
    if (seen == Holds::Unknown) {
        m_seen = Holds::Unknown;
        m_row = 0;
        return;
    }
    const RomCode::Words rom = seen == Holds::Device ? record.rom : RomCode::Words{};
    if (m_row > 0 && seen == m_seen && rom == m_seenRom) {
        ++m_row;
    } else {
        m_seen = seen;
        m_seenRom = rom;
        m_row = 1;
    }
    if (m_holds == Holds::Unknown || m_row >= 2) {
        m_holds = seen;
        m_rom = rom;
    }
}

void ChannelDevice::restart()
{
    m_readSince = false;
    m_seen = Holds::Unknown;
    m_row = 0;
}

void ChannelDevice::assume(const RomCode::Words &rom)
{
    if (m_holds != Holds::Unknown)
        return;
    m_holds = Holds::Device;
    m_rom = rom;
}

QString ChannelDevice::romText() const
{
    return m_holds == Holds::Device ? RomCode::toText(m_rom) : QString();
}

ChannelDevice::LastRead ChannelDevice::lastRead() const
{
    if (!m_readSince)
        return LastRead::None;
    if (m_row == 0)
        return LastRead::Unreadable;
    return m_seen == m_holds && m_seenRom == m_rom ? LastRead::Agrees : LastRead::Differs;
}
