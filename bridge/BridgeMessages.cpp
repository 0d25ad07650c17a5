#include "BridgeMessages.h"

#include "ChannelReport.h"
#include "ChannelText.h"
#include "RegisterMap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {
constexpr int kTemperatureKind = 2; // ChannelText::kindsOf: a temperature in degrees Celsius
const QString kConfig = QStringLiteral("/config");
constexpr int kRomDigits = 16;

bool isRomText(const QString &text)
{
    if (text.size() != kRomDigits)
        return false;
    for (const QChar c : text)
        if (!(c.isDigit() || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    return true;
}
} // namespace

const QList<BridgeMessages::Diagnostic> &BridgeMessages::diagnostics()
{
    static const QList<Diagnostic> list = {
        {"link", "Link", "state", nullptr, nullptr, nullptr},
        {"firmware", "Firmware", "firmware", nullptr, nullptr, nullptr},
        {"cycle", "Poll cycle", "cycleSeconds", "duration", "s", "measurement"},
        {"requests", "Requests", "requests", nullptr, nullptr, "total_increasing"},
        {"answers", "Answers", "answers", nullptr, nullptr, "total_increasing"},
        {"errors", "Errors", "errors", nullptr, nullptr, "total_increasing"},
    };
    return list;
}

BridgeMessages::BridgeMessages(
    const QString &id, const QString &topicPrefix, const QString &discoveryPrefix)
    : m_id(id)
    , m_topicPrefix(topicPrefix)
    , m_discoveryPrefix(discoveryPrefix)
{
}

QString BridgeMessages::base() const
{
    return m_topicPrefix + QLatin1Char('/') + m_id + QLatin1Char('/');
}

QString BridgeMessages::node() const
{
    return QStringLiteral("tarvik_") + m_id;
}

QString BridgeMessages::availabilityTopic() const
{
    return base() + QStringLiteral("availability");
}

QString BridgeMessages::linkTopic() const
{
    return base() + QStringLiteral("link");
}

QString BridgeMessages::lineTopic(int line) const
{
    return base() + QStringLiteral("line/") + QString::number(line);
}

QString BridgeMessages::channelTopic(int number) const
{
    return base() + QStringLiteral("channel/") + QString::number(number);
}

QString BridgeMessages::channelEntityId(int channel, const QString &rom) const
{
    return QStringLiteral("%1_ch%2_%3").arg(node()).arg(channel).arg(rom);
}

QString BridgeMessages::channelDiscoveryTopic(int channel, const QString &rom) const
{
    return QStringLiteral("%1/sensor/%2/ch%3_%4/config")
        .arg(m_discoveryPrefix, node())
        .arg(channel)
        .arg(rom);
}

QString BridgeMessages::lineDiscoveryTopic(int line) const
{
    return QStringLiteral("%1/binary_sensor/%2/line%3/config")
        .arg(m_discoveryPrefix, node())
        .arg(line);
}

QString BridgeMessages::diagnosticDiscoveryTopic(const Diagnostic &d) const
{
    return QStringLiteral("%1/sensor/%2/%3/config")
        .arg(m_discoveryPrefix, node(), QLatin1String(d.key));
}

QString BridgeMessages::entityPattern() const
{
    return QStringLiteral("%1/+/%2/+/config").arg(m_discoveryPrefix, node());
}

QString BridgeMessages::oldEntityPattern() const
{
    return m_discoveryPrefix + QStringLiteral("/sensor/+/config");
}

std::optional<BridgeMessages::ChannelEntity> BridgeMessages::channelEntityOf(
    const QString &topic) const
{
    const QString head = QStringLiteral("%1/sensor/%2/ch").arg(m_discoveryPrefix, node());
    if (!topic.startsWith(head) || !topic.endsWith(kConfig))
        return std::nullopt;
    const QString object = topic.mid(head.size(), topic.size() - head.size() - kConfig.size());
    static const QRegularExpression form(QStringLiteral("^([1-9][0-9]?)_([0-9A-F]{16})$"));
    const QRegularExpressionMatch m = form.match(object);
    if (!m.hasMatch())
        return std::nullopt;
    const int channel = m.captured(1).toInt();
    if (!ChannelMap::isChannel(channel))
        return std::nullopt;
    return ChannelEntity{channel, m.captured(2)};
}

QString BridgeMessages::oldDiscoveryTopic(const QString &rom) const
{
    return QStringLiteral("%1/sensor/%2_%3/config").arg(m_discoveryPrefix, node(), rom);
}

QString BridgeMessages::romOfOldDiscoveryTopic(const QString &topic) const
{
    const QString head = QStringLiteral("%1/sensor/%2_").arg(m_discoveryPrefix, node());
    if (topic.size() != head.size() + kRomDigits + kConfig.size() || !topic.startsWith(head)
        || !topic.endsWith(kConfig))
        return QString();
    const QString rom = topic.mid(head.size(), kRomDigits);
    return isRomText(rom) ? rom : QString();
}

bool BridgeMessages::isUsed(const TChannelRecord &record)
{
    return ChannelText::showsDevice(record);
}

bool BridgeMessages::isThermometer(const RomCode::Words &rom)
{
    return ChannelText::kindsOf(RomCode::familyOf(rom))[0] == kTemperatureKind;
}

bool BridgeMessages::isThermometer(const TChannelRecord &record)
{
    return isUsed(record) && isThermometer(record.rom);
}

QString BridgeMessages::statusText(uint8_t status)
{
    // The window shows nothing for a channel the gateway has not read yet; a subscriber gets
    // words for it as for every other code.
    if (status == ChannelStatus::NotRead)
        return QStringLiteral("Not read yet");
    return ChannelText::statusText(status);
}

QJsonObject BridgeMessages::state(
    const TChannelRecord &record, int number, const QString &description)
{
    const QJsonObject decoded = ChannelReport::channelJson(record);
    QJsonObject out;
    out.insert(QStringLiteral("channel"), number);
    for (const char *key : {"rom", "family", "status", "statusText", "values", "temperature"})
        out.insert(QLatin1String(key), decoded.value(QLatin1String(key)));
    out.insert(QStringLiteral("statusText"), statusText(record.status));
    out.insert(QStringLiteral("description"), description);
    return out;
}

QJsonObject BridgeMessages::lineState(int line, int status)
{
    return QJsonObject{
        {QStringLiteral("line"), line},
        {QStringLiteral("state"), statusText(uint8_t(status))},
        {QStringLiteral("status"), status},
    };
}

QJsonObject BridgeMessages::device(const QString &firmware) const
{
    return QJsonObject{
        {QStringLiteral("identifiers"), QJsonArray{node()}},
        {QStringLiteral("name"), QStringLiteral("1-WIRE-TARVIK ") + m_id},
        {QStringLiteral("model"), QStringLiteral("1-WIRE-TARVIK")},
        {QStringLiteral("manufacturer"), QStringLiteral("Quarnel")},
        {QStringLiteral("sw_version"), firmware},
    };
}

QString BridgeMessages::bridgeTopic(const QString &topicPrefix, const QString &bridge)
{
    return topicPrefix + QLatin1Char('/') + bridge + QStringLiteral("/bridge");
}

void BridgeMessages::addAvailability(QJsonObject &config) const
{
    if (m_bridgeTopic.isEmpty()) {
        config.insert(QStringLiteral("availability_topic"), availabilityTopic());
        config.insert(QStringLiteral("payload_available"), QStringLiteral("online"));
        config.insert(QStringLiteral("payload_not_available"), QStringLiteral("offline"));
        return;
    }
    config.insert(QStringLiteral("availability"), QJsonArray{
        QJsonObject{{QStringLiteral("topic"), availabilityTopic()}},
        QJsonObject{{QStringLiteral("topic"), m_bridgeTopic}},
    });
    config.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
    config.insert(QStringLiteral("payload_available"), QStringLiteral("online"));
    config.insert(QStringLiteral("payload_not_available"), QStringLiteral("offline"));
}

QJsonObject BridgeMessages::channelDiscovery(
    int channel, int number, const QString &rom, const QString &name, const QString &firmware) const
{
    const QString stateTopic = channelTopic(number);
    QJsonObject config{
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), channelEntityId(channel, rom)},
        {QStringLiteral("state_topic"), stateTopic},
        // A failed reading is null, which Home Assistant shows as unknown.
        {QStringLiteral("value_template"), QStringLiteral("{{ value_json.temperature }}")},
        {QStringLiteral("json_attributes_topic"), stateTopic},
        {QStringLiteral("device_class"), QStringLiteral("temperature")},
        {QStringLiteral("unit_of_measurement"), QStringLiteral("°C")},
        {QStringLiteral("state_class"), QStringLiteral("measurement")},
        {QStringLiteral("device"), device(firmware)},
    };
    addAvailability(config);
    return config;
}

QJsonObject BridgeMessages::lineDiscovery(int line, const QString &firmware) const
{
    const QString stateTopic = lineTopic(line);
    QJsonObject config{
        {QStringLiteral("name"), QStringLiteral("Line %1").arg(line)},
        {QStringLiteral("unique_id"), QStringLiteral("%1_line%2").arg(node()).arg(line)},
        {QStringLiteral("state_topic"), stateTopic},
        {QStringLiteral("value_template"),
            QStringLiteral("{{ 'OFF' if value_json.status == 0 else 'ON' }}")},
        {QStringLiteral("json_attributes_topic"), stateTopic},
        {QStringLiteral("device_class"), QStringLiteral("problem")},
        {QStringLiteral("device"), device(firmware)},
    };
    addAvailability(config);
    return config;
}

QJsonObject BridgeMessages::diagnosticDiscovery(const Diagnostic &d, const QString &firmware) const
{
    QJsonObject config{
        {QStringLiteral("name"), QLatin1String(d.name)},
        {QStringLiteral("unique_id"), node() + QLatin1Char('_') + QLatin1String(d.key)},
        {QStringLiteral("state_topic"), linkTopic()},
        {QStringLiteral("value_template"),
            QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(d.field))},
        {QStringLiteral("entity_category"), QStringLiteral("diagnostic")},
        {QStringLiteral("device"), device(firmware)},
    };
    if (d.deviceClass)
        config.insert(QStringLiteral("device_class"), QLatin1String(d.deviceClass));
    if (d.unit)
        config.insert(QStringLiteral("unit_of_measurement"), QLatin1String(d.unit));
    if (d.stateClass)
        config.insert(QStringLiteral("state_class"), QLatin1String(d.stateClass));
    return config;
}

QByteArray BridgeMessages::compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
