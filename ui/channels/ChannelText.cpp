#include "ChannelText.h"

#include "RegisterMap.h"
#include "RomCode.h"

std::array<int, 5> ChannelText::kindsOf(uint8_t family)
{
    switch (family) {
    case 0x01:
        return {6, 7, 0, 0, 8};
    case 0x10:
    case 0x28:
        return {2, 0, 0, 0, 0};
    case 0x19:
        return {2, 3, 0, 0, 0};
    case 0x26:
        return {2, 1, 1, 1, 1};
    default:
        return {1, 1, 1, 1, 1};
    }
}

QString ChannelText::familyHint(uint8_t family)
{
    switch (family) {
    case 0x01:
        return QStringLiteral("iButton|Serial number iButton. (Family code: 0x01)");
    case 0x10:
        return QStringLiteral("DS18S20|Digital thermometer. (Family code: 0x10)");
    case 0x19:
        return QStringLiteral("DS28E17|Temperature and humidity sensor. (Family code: 0x19)");
    case 0x26:
        return QStringLiteral("DS2438|Smart battery monitor. (Family code: 0x26)");
    case 0x28:
        return QStringLiteral("DS18B20|Digital thermometer. (Family code: 0x28)");
    default:
        return QStringLiteral("Unknown family code");
    }
}

ChannelText::Shown ChannelText::value(int kind, int slot, uint16_t raw, uint16_t value1, const QLocale &locale)
{
    const QString plain = QString::number(raw);
    switch (kind) {
    case 0:
        return {plain, QStringLiteral("Value%1 - Reserved").arg(slot)};
    case 1:
        return {plain, QStringLiteral("Value%1").arg(slot)};
    case 2:
        return {decimal(int16_t(raw) / 10.0, 1, locale) + QStringLiteral(" °C"), QStringLiteral("Temperature")};
    case 3:
        return {decimal(raw / 10.0, 1, locale) + QStringLiteral(" %"), QStringLiteral("Humidity")};
    case 4:
        return {plain + QStringLiteral(" mA"), QStringLiteral("Current")};
    case 5:
        return {decimal(raw / 100.0, 2, locale) + QStringLiteral(" V"), QStringLiteral("Voltage")};
    case 6:
        return {plain, value1 == 1 ? QStringLiteral("Chip is connected|Chip detected on the probe.")
                                   : QStringLiteral("Chip is not connected|No chip detected on the probe.")};
    case 7:
        return {plain, QStringLiteral("Connections counter")};
    case 8:
        return {plain, QStringLiteral("Connection indicator|Indicates connection approximately 20 seconds after the chip is removed.")};
    default:
        return {};
    }
}

ChannelText::Shown ChannelText::valueOf(const TChannelRecord &record, int slot, const QLocale &locale)
{
    const int kind = kindsOf(uint8_t(record.rom[0] >> 8))[size_t(slot - 1)];
    return value(kind, slot, record.values[size_t(slot - 1)], record.values[0], locale);
}

QString ChannelText::decimal(double value, int decimals, const QLocale &locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return plain.toString(value, 'f', decimals);
}

QString ChannelText::plainDecimal(double value, int decimals, const QLocale &locale)
{
    return withPlainMinus(decimal(value, decimals, locale), locale);
}

QString ChannelText::withPlainMinus(const QString &text, const QLocale &locale)
{
    const QString minus = locale.negativeSign();
    if (minus.isEmpty() || minus == QLatin1String("-") || !text.startsWith(minus))
        return text;
    return QLatin1Char('-') + text.mid(minus.size());
}

QString ChannelText::statusText(uint8_t status)
{
    switch (status) {
    case ChannelStatus::Ok:
        return QStringLiteral("OK");
    case ChannelStatus::LineInHigh:
        return QStringLiteral("Line in high");
    case ChannelStatus::ShortCircuit:
        return QStringLiteral("Short circuit");
    case ChannelStatus::UnsupportedFamily:
        return QStringLiteral("Not supp. family");
    case ChannelStatus::CrcError:
        return QStringLiteral("CRC error");
    case ChannelStatus::Timeout:
        return QStringLiteral("Timeout");
    case ChannelStatus::NotRead:
        return QString();
    case ChannelStatus::FreePosition:
        return QStringLiteral("Free position");
    default:
        return QStringLiteral("Undefined error code");
    }
}

bool ChannelText::showsDevice(const TChannelRecord &record)
{
    if (record.status == ChannelStatus::FreePosition)
        return false;
    return !(RomCode::isNoDevice(record.rom)
             && (record.status == ChannelStatus::LineInHigh || record.status == ChannelStatus::ShortCircuit
                 || record.status == ChannelStatus::NotRead));
}

std::optional<std::array<uint16_t, 4>> ChannelText::heldRom(const TChannelRecord &record)
{
    if (!ChannelMap::isChannel(record.channel) || record.status == ChannelStatus::FreePosition
        || RomCode::isNoDevice(record.rom) || RomCode::isEmpty(record.rom))
        return std::nullopt;
    return record.rom;
}

QString ChannelText::FormatVersion(uint16_t word)
{
    const int major = word / 100;
    const int minor = word % 100;
    return minor >= 10 ? QStringLiteral("V%1.%2").arg(major).arg(minor)
                       : QStringLiteral("V%1.0%2").arg(major).arg(minor);
}

QString ChannelText::StatusText(uint16_t word)
{
    switch (word) {
    case OperationStatus::NoCommand:
        return QStringLiteral("No command received");
    case OperationStatus::ChannelOutOfRange:
        return QStringLiteral("Channel number out of range");
    case OperationStatus::UnsupportedCommand:
        return QStringLiteral("Unsupported command number");
    case OperationStatus::RomReadError:
        return QStringLiteral("Error reading ROM code");
    case OperationStatus::RomCrcError:
        return QStringLiteral("CRC error when reading ROM code");
    case OperationStatus::Ok:
        return QStringLiteral("OK");
    default:
        return QStringLiteral("Undefined error code");
    }
}
