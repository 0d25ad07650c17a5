#include "GatewayPublisher.h"

#include "BridgeMessages.h"
#include "ChannelNumbering.h"
#include "ChannelText.h"
#include "DescriptionFile.h"
#include "MqttLink.h"
#include "RomCode.h"
#include "ServiceBlockText.h"

#include <QJsonObject>

namespace {

// How long after the broker took the subscription its retained entities are gathered: they
// come at once, behind the acknowledgement.
constexpr int kEntityGatheringMs = 1000;
const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

double unixSeconds(const QDateTime &t)
{
    return double(t.toMSecsSinceEpoch()) / 1000.0;
}

} // namespace

GatewayPublisher::GatewayPublisher(const BridgeMessages &topics, bool discovery,
    const LinkOptions &link, int silenceMs, MqttLink &mqtt, Say say, CounterSource counters,
    QObject *parent)
    : QObject(parent)
    , m_topics(topics)
    , m_discovery(discovery)
    , m_link(link)
    , m_silenceMs(silenceMs)
    , m_mqtt(mqtt)
    , m_say(std::move(say))
    , m_counterSource(std::move(counters))
{
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &GatewayPublisher::onSilence);
    m_entityGathering.setSingleShot(true);
    m_entityGathering.setInterval(kEntityGatheringMs);
    connect(&m_entityGathering, &QTimer::timeout, this, &GatewayPublisher::endEntityGathering);
    m_linkSince = QDateTime::currentDateTimeUtc();
}

void GatewayPublisher::start()
{
    connect(&m_mqtt, &MqttLink::connected, this, &GatewayPublisher::onBrokerConnected);
    connect(&m_mqtt, &MqttLink::messageReceived, this, &GatewayPublisher::onBrokerMessage);
    connect(&m_mqtt, &MqttLink::subscribed, this, [this] {
        if (m_gathering)
            m_entityGathering.start();
    });
    connect(&m_mqtt, &MqttLink::disconnected, this, [this] { m_sent.clear(); });
    // The first connection came before these handlers were there.
    if (m_mqtt.isConnected())
        gatherEntities();
    publishEverything(false);
}

void GatewayPublisher::portOpened()
{
    // The counters restart with each open.
    m_counted = {};
    m_serviceRead = false;
    m_round.invalidate();
    for (Channel &c : m_channels) {
        c.record.reset();
        c.device.restart();
    }
    setLinkState(LinkState::Opening);
    m_silence.start(m_silenceMs);
}

void GatewayPublisher::portClosed(const QString &reason)
{
    m_silence.stop();
    setLinkState(LinkState::PortClosed, reason);
}

void GatewayPublisher::stop()
{
    m_silence.stop();
    accountCounters();
    m_linkState = LinkState::PortClosed;
    m_linkReason = QStringLiteral("stopped");
    m_linkSince = QDateTime::currentDateTimeUtc();
}

void GatewayPublisher::sayGoodbye()
{
    publish(m_topics.availabilityTopic(), kOffline, true);
    publishLink(true);
}

void GatewayPublisher::onSilence()
{
    accountCounters();
    setLinkState(LinkState::Silent,
        QStringLiteral("no answer from the gateway (%1)").arg(m_link.describe()));
    m_say(m_linkReason);
}

bool GatewayPublisher::wholeRoundRead() const
{
    if (!m_serviceRead)
        return false;
    for (const Channel &c : m_channels)
        if (!c.record)
            return false;
    return true;
}

void GatewayPublisher::takeBlock(int block, const Block &registers)
{
    m_lastAnswer = QDateTime::currentDateTimeUtc();
    m_silence.start(m_silenceMs);
    accountCounters();
    if (m_linkState == LinkState::Silent)
        m_say(QStringLiteral("The gateway answers again"));

    if (block == ServiceBlockIndex) {
        m_serviceRead = true;
        const QString firmware = ChannelText::FormatVersion(
            registers[size_t(ServiceRegs::offset(ServiceRegs::FirmwareVersion))]);
        const bool changed = firmware != m_firmware;
        m_firmware = firmware;
        if (changed) {
            for (int i = 0; i < int(m_channels.size()); ++i)
                publishDiscovery(i, false);
            publishGatewayEntities(false);
        }
    } else if (block < ChannelMap::ChannelCount / ChannelMap::ChannelsPerBlock) {
        if (block == 0) {
            if (m_round.isValid() && wholeRoundRead())
                m_cycleSeconds = m_round.nsecsElapsed() / 1e9;
            m_round.start();
        }
        takeChannels(block, registers);
    }
    // Online once every channel has been read, so the first state a subscriber sees is whole.
    if (wholeRoundRead() || m_linkState == LinkState::Silent)
        setLinkState(LinkState::Answering);
    withdrawLeftoverOldEntities();
}

void GatewayPublisher::takeChannels(int block, const Block &registers)
{
    const int first = block * ChannelMap::ChannelsPerBlock;
    for (int k = 0; k < ChannelMap::ChannelsPerBlock; ++k) {
        const int index = first + k;
        const TChannelRecord r = TChannelRecord::fromBlock(registers, k, first + 1);
        Channel &c = m_channels[size_t(index)];
        c.record = r;
        c.device.take(r);
        if (c.device.holdsDevice() && c.device.lastRead() == ChannelDevice::LastRead::Agrees
            && r.status == ChannelStatus::Ok)
            c.lastGood = QDateTime::currentDateTimeUtc();
        publishChannel(index, false);
        publishDiscovery(index, false);
    }
    publishLines(false);
}

void GatewayPublisher::accountCounters()
{
    const TCounterSnapshot now = m_counterSource();
    // A count below the last one has started again (at an open, or past its limit).
    const auto add = [](qint64 &total, int32_t before, int32_t after) {
        total += after >= before ? after - before : after;
    };
    add(m_requests, m_counted.Tx, now.Tx);
    add(m_answers, m_counted.Rx, now.Rx);
    add(m_errors, m_counted.Err, now.Err);
    m_counted = now;
}

void GatewayPublisher::setLinkState(LinkState state, const QString &reason)
{
    if (state == m_linkState && reason == m_linkReason)
        return;
    const bool wasOnline = m_linkState == LinkState::Answering;
    m_linkState = state;
    m_linkReason = reason;
    m_linkSince = QDateTime::currentDateTimeUtc();
    if (wasOnline != (state == LinkState::Answering))
        publishAvailability(false);
    publishLink(false);
}

void GatewayPublisher::onBrokerConnected()
{
    // A new connection: the broker may have lost everything (a restart without persistence),
    // so the whole present state goes out once, and nothing older.
    m_sent.clear();
    gatherEntities();
    publishEverything(false);
}

void GatewayPublisher::gatherEntities()
{
    if (!m_discovery)
        return;
    // What is on the broker now is what is gathered: a broker that lost its retained messages
    // holds none of the entities configured before.
    for (Channel &c : m_channels)
        c.entities.clear();
    m_oldEntities.clear();
    m_entityGathering.stop();
    m_gathering = true;
    m_mqtt.subscribe(m_topics.entityPattern());
    m_mqtt.subscribe(m_topics.oldEntityPattern());
}

void GatewayPublisher::onBrokerMessage(const QString &topic, const QByteArray &payload)
{
    if (!m_gathering)
        return;
    // An empty payload is an entity already withdrawn.
    if (const auto entity = m_topics.channelEntityOf(topic)) {
        QSet<QString> &entities = m_channels[size_t(entity->channel - 1)].entities;
        if (payload.isEmpty())
            entities.remove(entity->rom);
        else
            entities.insert(entity->rom);
        return;
    }
    const QString rom = m_topics.romOfOldDiscoveryTopic(topic);
    if (rom.isEmpty())
        return;
    if (payload.isEmpty())
        m_oldEntities.remove(rom);
    else
        m_oldEntities.insert(rom);
}

void GatewayPublisher::endEntityGathering()
{
    if (!m_gathering)
        return;
    m_mqtt.unsubscribe(m_topics.entityPattern());
    m_mqtt.unsubscribe(m_topics.oldEntityPattern());
    m_gathering = false;
    // A channel of which nothing readable has come yet (a line with a fault since the bridge
    // started) stands for the device of its one entity on the broker: the entity stays and
    // the channel's state names that device.
    for (Channel &c : m_channels) {
        RomCode::Words rom{};
        if (c.device.holds() == ChannelDevice::Holds::Unknown && c.entities.size() == 1
            && RomCode::ParseRomCode(*c.entities.cbegin(), rom))
            c.device.assume(rom);
    }
    publishEverything(false);
}

bool GatewayPublisher::configuring() const
{
    return m_discovery && !m_gathering && !m_firmware.isEmpty() && m_mqtt.isConnected();
}

void GatewayPublisher::withdrawLeftoverOldEntities()
{
    // An entity of the earlier form gives way to its channel's as soon as a channel holds its
    // device (publishDiscovery); one that no channel holds goes once every channel is settled,
    // so that a device on a line with a fault keeps it.
    if (m_oldEntities.isEmpty() || !configuring())
        return;
    for (const Channel &c : m_channels)
        if (!c.device.settled())
            return;
    for (const QString &rom : std::as_const(m_oldEntities))
        publish(m_topics.oldDiscoveryTopic(rom), QByteArray(), true);
    m_say(m_oldEntities.size() == 1
            ? QStringLiteral(
                "Withdrew 1 Home Assistant entity whose device no channel holds any more")
            : QStringLiteral(
                "Withdrew %1 Home Assistant entities whose devices no channel holds any more")
                  .arg(m_oldEntities.size()));
    m_oldEntities.clear();
}

void GatewayPublisher::publish(const QString &topic, const QByteArray &payload, bool force)
{
    if (!m_mqtt.isConnected())
        return;
    const auto sent = m_sent.constFind(topic);
    if (!force && sent != m_sent.constEnd() && *sent == payload)
        return;
    if (m_mqtt.publish(topic, payload, true) >= 0)
        m_sent.insert(topic, payload);
}

void GatewayPublisher::publishEverything(bool force)
{
    publishAvailability(force);
    publishLink(force);
    // The heartbeat repeats the state only: Home Assistant keeps its entities from the
    // retained configurations, which a new connection sends again anyway. A channel's state is
    // sent again only while the gateway answers: what it said before it fell silent or the
    // port went is not news of now (availability says offline).
    const bool fresh = m_linkState == LinkState::Answering || m_linkState == LinkState::Opening;
    if (fresh)
        publishLines(force);
    for (int i = 0; i < int(m_channels.size()); ++i) {
        if (fresh)
            publishChannel(i, force);
        publishDiscovery(i, false);
    }
    publishGatewayEntities(false);
    withdrawLeftoverOldEntities();
}

void GatewayPublisher::publishAvailability(bool force)
{
    publish(m_topics.availabilityTopic(), m_linkState == LinkState::Answering ? kOnline : kOffline,
        force);
}

void GatewayPublisher::publishLink(bool force)
{
    accountCounters();
    static const char *const kStates[] = {"port closed", "opening", "answering", "silent"};
    QJsonObject o{
        {QStringLiteral("port"), m_link.port},
        {QStringLiteral("address"), m_link.address},
        {QStringLiteral("baud"), int(m_link.baud)},
        {QStringLiteral("state"), QLatin1String(kStates[int(m_linkState)])},
        {QStringLiteral("reason"), m_linkReason},
        {QStringLiteral("since"), m_linkSince.toString(Qt::ISODate)},
        {QStringLiteral("firmware"), m_firmware},
        {QStringLiteral("requests"), m_requests},
        {QStringLiteral("answers"), m_answers},
        {QStringLiteral("errors"), m_errors},
        {QStringLiteral("cycleSeconds"),
            m_cycleSeconds ? QJsonValue(*m_cycleSeconds) : QJsonValue()},
    };
    publish(m_topics.linkTopic(), BridgeMessages::compact(o), force);
}

QString GatewayPublisher::description(int index) const
{
    if (index >= m_descriptions.size())
        return QString();
    const QString text = m_descriptions[index].description.trimmed();
    return text == DescriptionFile::notFound() ? QString() : text;
}

void GatewayPublisher::publishChannel(int index, bool force)
{
    const Channel &c = m_channels[size_t(index)];
    if (!c.record)
        return;
    const int number = ChannelNumbering::displayNumber(index + 1);
    const QString topic = m_topics.channelTopic(number);
    const ChannelDevice::LastRead read = c.device.lastRead();
    // While one read disagrees with what the channel stands for, its last state stays.
    if (read != ChannelDevice::LastRead::Agrees && read != ChannelDevice::LastRead::Unreadable)
        return;
    switch (c.device.holds()) {
    case ChannelDevice::Holds::Unknown:
        return;
    case ChannelDevice::Holds::Free:
        // A freed channel's retained state is cleared (an empty retained message), and so is
        // one left behind by an earlier run; a heartbeat does not repeat the clearing.
        if (read == ChannelDevice::LastRead::Agrees)
            publish(topic, QByteArray());
        return;
    case ChannelDevice::Holds::Device:
        break;
    }
    // Nothing readable on the line: the state names the device the channel holds, with the
    // line's fault as its status and no values.
    TChannelRecord shown = *c.record;
    shown.rom = c.device.rom();
    publish(topic,
        BridgeMessages::compact(BridgeMessages::state(shown, number, description(index))), force);
}

void GatewayPublisher::publishDiscovery(int index, bool force)
{
    if (!configuring())
        return;
    Channel &c = m_channels[size_t(index)];
    const int channel = index + 1;
    const int number = ChannelNumbering::displayNumber(channel);
    const QString rom = c.device.holdsDevice() && BridgeMessages::isThermometer(c.device.rom())
        ? c.device.romText()
        : QString();
    // The entities of what the channel held before go once two reads in a row agree on what
    // it holds now.
    if (c.device.settled()) {
        const QSet<QString> entities = c.entities;
        for (const QString &old : entities) {
            if (old == rom)
                continue;
            publish(m_topics.channelDiscoveryTopic(channel, old), QByteArray(), true);
            c.entities.remove(old);
            m_say(QStringLiteral(
                "Channel %1 holds %2 no more: its Home Assistant entity is withdrawn")
                      .arg(number)
                      .arg(old));
        }
    }
    if (rom.isEmpty())
        return;
    // The same device's entity in the earlier form goes first, so that Home Assistant frees
    // its entity id for the new one.
    if (m_oldEntities.remove(rom))
        publish(m_topics.oldDiscoveryTopic(rom), QByteArray(), true);
    const QString text = description(index);
    const QString name = text.isEmpty() ? QStringLiteral("Ch %1").arg(number) : text;
    publish(m_topics.channelDiscoveryTopic(channel, rom),
        BridgeMessages::compact(m_topics.channelDiscovery(channel, number, rom, name, m_firmware)),
        force);
    c.entities.insert(rom);
}

void GatewayPublisher::publishGatewayEntities(bool force)
{
    if (!configuring())
        return;
    for (int line = 1; line <= 2; ++line)
        publish(m_topics.lineDiscoveryTopic(line),
            BridgeMessages::compact(m_topics.lineDiscovery(line, m_firmware)), force);
    for (const BridgeMessages::Diagnostic &d : BridgeMessages::diagnostics())
        publish(m_topics.diagnosticDiscoveryTopic(d),
            BridgeMessages::compact(m_topics.diagnosticDiscovery(d, m_firmware)), force);
}

std::optional<int> GatewayPublisher::lineStatus(int line) const
{
    QList<uint8_t> statuses;
    for (int k = 0; k < ChannelMap::ChannelsPerLine; ++k) {
        const Channel &c = m_channels[size_t(line * ChannelMap::ChannelsPerLine + k)];
        if (!c.record)
            return std::nullopt;
        statuses.append(c.record->status);
    }
    return ServiceBlockText::lineState(statuses);
}

void GatewayPublisher::publishLines(bool force)
{
    for (int line = 0; line < 2; ++line)
        if (const auto status = lineStatus(line))
            publish(m_topics.lineTopic(line + 1),
                BridgeMessages::compact(BridgeMessages::lineState(line + 1, *status)), force);
}

void GatewayPublisher::setDescriptions(const QList<TDescriptionRecord> &descriptions)
{
    m_descriptions = descriptions;
    for (int i = 0; i < int(m_channels.size()); ++i) {
        publishChannel(i, false);
        publishDiscovery(i, false);
    }
}

MetricsSnapshot GatewayPublisher::metrics()
{
    accountCounters();
    MetricsSnapshot s;
    s.gateway = m_topics.id();
    s.linkUp = m_linkState == LinkState::Answering;
    s.requests = m_requests;
    s.answers = m_answers;
    s.errors = m_errors;
    s.cycleSeconds = m_cycleSeconds;
    if (m_lastAnswer)
        s.lastAnswerSeconds = unixSeconds(*m_lastAnswer);
    for (int i = 0; i < int(m_channels.size()); ++i) {
        const Channel &c = m_channels[size_t(i)];
        // A channel's series stay while its line has a fault, with the fault as its status.
        if (!c.record || !c.device.holdsDevice())
            continue;
        MetricsSnapshot::Channel m;
        m.number = ChannelNumbering::displayNumber(i + 1);
        m.rom = c.device.romText();
        m.description = description(i);
        m.status = c.record->status;
        const QJsonValue t = BridgeMessages::state(*c.record, m.number, m.description)
                                 .value(QStringLiteral("temperature"));
        if (t.isDouble() && c.device.lastRead() == ChannelDevice::LastRead::Agrees)
            m.temperature = t.toDouble();
        if (c.lastGood)
            m.lastGoodSeconds = unixSeconds(*c.lastGood);
        s.channels.append(m);
    }
    for (int line = 0; line < 2; ++line)
        if (const auto status = lineStatus(line))
            s.lines.append({line + 1, *status});
    return s;
}
