#include "BridgeMessages.h"

#include "ChannelReport.h"
#include "ChannelText.h"
#include "RomCode.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {
constexpr int kTemperatureKind = 2; // ChannelText::kindsOf: a temperature in degrees Celsius
const QString kRoot = QStringLiteral("tarvik/");
} // namespace

QString BridgeMessages::availabilityTopic(const QString &id)
{
    return kRoot + id + QStringLiteral("/availability");
}

QString BridgeMessages::linkTopic(const QString &id)
{
    return kRoot + id + QStringLiteral("/link");
}

QString BridgeMessages::channelTopic(const QString &id, int number)
{
    return kRoot + id + QStringLiteral("/channel/") + QString::number(number);
}

QString BridgeMessages::uniqueId(const QString &id, const QString &rom)
{
    return QStringLiteral("tarvik_%1_%2").arg(id, rom);
}

QString BridgeMessages::discoveryTopic(const QString &id, const QString &rom)
{
    return QStringLiteral("homeassistant/sensor/%1/config").arg(uniqueId(id, rom));
}

QString BridgeMessages::discoveryPattern()
{
    return QStringLiteral("homeassistant/sensor/+/config");
}

QString BridgeMessages::romOfDiscoveryTopic(const QString &id, const QString &topic)
{
    const QString head = QStringLiteral("homeassistant/sensor/tarvik_%1_").arg(id);
    const QString tail = QStringLiteral("/config");
    constexpr int kRomDigits = 16;
    if (topic.size() != head.size() + kRomDigits + tail.size() || !topic.startsWith(head)
        || !topic.endsWith(tail))
        return QString();
    const QString rom = topic.mid(head.size(), kRomDigits);
    for (const QChar c : rom)
        if (!(c.isDigit() || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return QString();
    return rom;
}

bool BridgeMessages::isUsed(const TChannelRecord &record)
{
    return ChannelText::showsDevice(record);
}

bool BridgeMessages::isThermometer(const TChannelRecord &record)
{
    return isUsed(record)
        && ChannelText::kindsOf(RomCode::familyOf(record.rom))[0] == kTemperatureKind;
}

QJsonObject BridgeMessages::state(
    const TChannelRecord &record, int number, const QString &description)
{
    const QJsonObject decoded = ChannelReport::channelJson(record);
    QJsonObject out;
    out.insert(QStringLiteral("channel"), number);
    for (const char *key : {"rom", "family", "status", "statusText", "values", "temperature"})
        out.insert(QLatin1String(key), decoded.value(QLatin1String(key)));
    out.insert(QStringLiteral("description"), description);
    return out;
}

QJsonObject BridgeMessages::discovery(
    const QString &id, const QString &rom, int number, const QString &name, const QString &firmware)
{
    const QString stateTopic = channelTopic(id, number);
    return QJsonObject{
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), uniqueId(id, rom)},
        {QStringLiteral("state_topic"), stateTopic},
        // A failed reading is null, which Home Assistant shows as unknown.
        {QStringLiteral("value_template"), QStringLiteral("{{ value_json.temperature }}")},
        {QStringLiteral("json_attributes_topic"), stateTopic},
        {QStringLiteral("device_class"), QStringLiteral("temperature")},
        {QStringLiteral("unit_of_measurement"), QStringLiteral("°C")},
        {QStringLiteral("state_class"), QStringLiteral("measurement")},
        {QStringLiteral("availability_topic"), availabilityTopic(id)},
        {QStringLiteral("payload_available"), QStringLiteral("online")},
        {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
        {QStringLiteral("device"),
            QJsonObject{
                {QStringLiteral("identifiers"), QJsonArray{QStringLiteral("tarvik_") + id}},
                {QStringLiteral("name"), QStringLiteral("1-WIRE-TARVIK ") + id},
                {QStringLiteral("model"), QStringLiteral("1-WIRE-TARVIK")},
                {QStringLiteral("manufacturer"), QStringLiteral("Quarnel")},
                {QStringLiteral("sw_version"), firmware},
            }},
    };
}

QByteArray BridgeMessages::compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
