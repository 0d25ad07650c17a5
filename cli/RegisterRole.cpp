#include "RegisterRole.h"

#include "ChannelNumbering.h"
#include "RegisterMap.h"
#include "SettingsCommand.h"

namespace {

QString settingMeaning(ServiceSettings::Kind kind, int port)
{
    const QString com = QStringLiteral("the gateway's COM %1 port").arg(port);
    switch (kind) {
    case ServiceSettings::Kind::Address:
        return QStringLiteral("the Modbus address of ") + com;
    case ServiceSettings::Kind::BaudRate:
        return QStringLiteral("the speed of ") + com;
    case ServiceSettings::Kind::Parity:
        return QStringLiteral("the parity of ") + com;
    case ServiceSettings::Kind::StopBits:
        return QStringLiteral("the stop bits of ") + com;
    case ServiceSettings::Kind::Delay:
        return QStringLiteral("the answer delay of ") + com;
    case ServiceSettings::Kind::PowerLine:
        break;
    }
    return QStringLiteral("the 1-Wire lines' power control");
}

} // namespace

QString RegisterRole::of(uint16_t reg)
{
    const QString name = QStringLiteral("register %1 is ").arg(reg);
    for (int i = 0; i < ServiceSettings::Count; ++i) {
        const ServiceSettings::Setting &s = ServiceSettings::Settings[size_t(i)];
        if (s.reg == reg)
            return name + QStringLiteral("the setting %1, %2").arg(SettingsCommand::nameOf(i), settingMeaning(s.kind, int(s.port)));
    }
    for (int line = 0; line < 2; ++line)
        if (reg == ServiceRegs::CommandRegister[line])
            return name + QStringLiteral("the command register of 1-Wire line %1: a write starts a search, or stores or frees a "
                                         "channel")
                              .arg(line + 1);
    if (reg == FirmwareRegs::ChunkOffset)
        return name + QStringLiteral("the firmware update's chunk offset");
    if (reg == FirmwareRegs::ErasePage)
        return name + QStringLiteral("the firmware update's first data register: a single write erases a page of program "
                                     "memory");
    if (reg > FirmwareRegs::DataFirst && reg <= FirmwareRegs::DataLast)
        return name + QStringLiteral("a data register of the firmware update");
    constexpr int kRecordsEnd = ChannelMap::ChannelCount * ChannelMap::RecordSize;
    const int offset = reg % ChannelMap::RecordSize;
    if (reg < kRecordsEnd && offset >= ChannelMap::RomOffset && offset < ChannelMap::RomOffset + ChannelMap::RomWords) {
        const int channel = reg / ChannelMap::RecordSize + 1;
        return name + QStringLiteral("word %1 of the ROM code of channel %2, the device the channel holds")
                          .arg(offset - ChannelMap::RomOffset + 1)
                          .arg(ChannelNumbering::displayNumber(channel));
    }
    return {};
}
