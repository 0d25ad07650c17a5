#include "ChannelReport.h"

#include "ChannelNumbering.h"
#include "ChannelText.h"
#include "RomCode.h"
#include "ServiceBlockText.h"

#include <QJsonArray>

namespace {
// Column widths of the table: number, ROM code, family, each value.
constexpr int kNumberWidth = 4;
constexpr int kRomWidth = 18;
constexpr int kFamilyWidth = 20;
constexpr int kValueWidth = 10;
// The value kind of a temperature in degrees Celsius (ChannelText::kindsOf).
constexpr int kTemperatureKind = 2;
} // namespace

ChannelReport::ChannelReport(const QList<TChannelRecord> &records, const Block &service)
    : m_records(records), m_service(service)
{
}

QString ChannelReport::familyName(uint8_t family)
{
    return ChannelText::familyHint(family).section(QLatin1Char('|'), 0, 0);
}

QString ChannelReport::firmware() const
{
    return ChannelText::FormatVersion(m_service[size_t(ServiceRegs::offset(ServiceRegs::FirmwareVersion))]);
}

QString ChannelReport::hardware() const
{
    return ChannelText::FormatVersion(m_service[size_t(ServiceRegs::offset(ServiceRegs::HardwareVersion))]);
}

QString ChannelReport::lineState(int line) const
{
    QList<uint8_t> statuses;
    for (const TChannelRecord &r : m_records)
        if (ChannelMap::lineOf(r.channel) == line)
            statuses.append(r.status);
    return ChannelText::statusText(uint8_t(ServiceBlockText::lineState(statuses)));
}

QJsonObject ChannelReport::channelJson(const TChannelRecord &r)
{
    const bool shown = ChannelText::showsDevice(r);
    // A sensor whose last reading failed has values the gateway left behind, not readings:
    // null, so a script cannot take them for measurements.
    const bool measured = r.status == ChannelStatus::Ok;
    const QJsonValue none(QJsonValue::Null);
    QJsonArray values;
    QJsonArray raw;
    for (int slot = 1; slot <= ChannelMap::ValueCount; ++slot) {
        if (!measured)
            values.append(none);
        else
            values.append(shown ? ChannelText::withPlainMinus(ChannelText::valueOf(r, slot).text) : QString());
        raw.append(r.values[size_t(slot - 1)]);
    }
    // Thermometers (Value1 a temperature) give it as a number too, so scripts need not take
    // the text apart; every other device, and a failed reading, gives null.
    const bool thermometer = shown && ChannelText::kindsOf(RomCode::familyOf(r.rom))[0] == kTemperatureKind;
    const QJsonValue temperature = thermometer && measured ? QJsonValue(int16_t(r.values[0]) / 10.0) : none;
    return QJsonObject{
        {QStringLiteral("channel"), r.channel},
        {QStringLiteral("number"), ChannelNumbering::displayNumber(r.channel)},
        {QStringLiteral("rom"), shown ? RomCode::toText(r.rom) : QString()},
        {QStringLiteral("family"), shown ? familyName(RomCode::familyOf(r.rom)) : QString()},
        {QStringLiteral("values"), values},
        {QStringLiteral("temperature"), temperature},
        {QStringLiteral("raw"), raw},
        {QStringLiteral("status"), r.status},
        {QStringLiteral("statusText"), ChannelText::statusText(r.status)},
    };
}

QJsonObject ChannelReport::json() const
{
    QJsonArray channels;
    for (const TChannelRecord &r : m_records)
        channels.append(channelJson(r));
    QJsonArray lines;
    for (int line = 0; line < 2; ++line)
        lines.append(QJsonObject{{QStringLiteral("line"), line + 1}, {QStringLiteral("state"), lineState(line)}});
    return QJsonObject{
        {QStringLiteral("firmware"), firmware()},
        {QStringLiteral("hardware"), hardware()},
        {QStringLiteral("lines"), lines},
        {QStringLiteral("channels"), channels},
    };
}

QString ChannelReport::tableHeader()
{
    QString text = QStringLiteral("Ch").leftJustified(kNumberWidth) + QStringLiteral("ROM code").leftJustified(kRomWidth)
                   + QStringLiteral("Family").leftJustified(kFamilyWidth);
    for (int slot = 1; slot <= ChannelMap::ValueCount; ++slot)
        text += QStringLiteral("Value%1").arg(slot).leftJustified(kValueWidth);
    return text + QStringLiteral("Status");
}

QString ChannelReport::tableRow(const TChannelRecord &r)
{
    const bool shown = ChannelText::showsDevice(r);
    QString text = QString::number(ChannelNumbering::displayNumber(r.channel)).leftJustified(kNumberWidth)
                   + (shown ? RomCode::toText(r.rom) : QString()).leftJustified(kRomWidth)
                   + (shown ? familyName(RomCode::familyOf(r.rom)) : QString()).leftJustified(kFamilyWidth);
    for (int slot = 1; slot <= ChannelMap::ValueCount; ++slot)
        text += (shown ? ChannelText::valueOf(r, slot).text : QString()).leftJustified(kValueWidth);
    return (text + ChannelText::statusText(r.status)).trimmed();
}

QString ChannelReport::table() const
{
    QStringList lines;
    lines.append(QStringLiteral("Gateway FW version: %1   Gateway HW version: %2").arg(firmware(), hardware()));
    lines.append(QStringLiteral("LINE 1 - %1   LINE 2 - %2").arg(lineState(0), lineState(1)));
    lines.append(tableHeader());
    for (const TChannelRecord &r : m_records)
        lines.append(tableRow(r));
    return lines.join(QLatin1Char('\n'));
}
