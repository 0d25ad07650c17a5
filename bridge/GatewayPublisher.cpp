#include "GatewayPublisher.h"

#include "BridgeMessages.h"
#include "ChannelNumbering.h"
#include "ChannelText.h"
#include "DescriptionFile.h"
#include "MqttLink.h"
#include "RomCode.h"

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

GatewayPublisher::GatewayPublisher(const QString &id, const LinkOptions &link, int silenceMs,
    MqttLink &mqtt, Say say, CounterSource counters, QObject *parent)
    : QObject(parent)
    , m_id(id)
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
        if (m_entityScan == EntityScan::Gathering)
            m_entityGathering.start();
    });
    connect(&m_mqtt, &MqttLink::disconnected, this, [this] { m_sent.clear(); });
    publishEverything(false);
    // The first connection came before these handlers were there.
    if (m_mqtt.isConnected())
        gatherEntities();
}

void GatewayPublisher::portOpened()
{
    // The counters restart with each open.
    m_counted = {};
    m_serviceRead = false;
    m_round.invalidate();
    for (Channel &c : m_channels)
        c.record.reset();
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
}

void GatewayPublisher::sayGoodbye()
{
    publish(BridgeMessages::availabilityTopic(m_id), kOffline, true);
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
        if (changed)
            for (int i = 0; i < int(m_channels.size()); ++i)
                publishDiscovery(i, false);
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
    withdrawStaleEntities();
}

void GatewayPublisher::takeChannels(int block, const Block &registers)
{
    const int first = block * ChannelMap::ChannelsPerBlock;
    for (int k = 0; k < ChannelMap::ChannelsPerBlock; ++k) {
        const int index = first + k;
        const TChannelRecord r = TChannelRecord::fromBlock(registers, k, first + 1);
        Channel &c = m_channels[size_t(index)];
        c.record = r;
        if (BridgeMessages::isUsed(r) && r.status == ChannelStatus::Ok)
            c.lastGood = QDateTime::currentDateTimeUtc();
        publishChannel(index, false);
        publishDiscovery(index, false);
    }
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
    publishEverything(false);
    gatherEntities();
}

void GatewayPublisher::gatherEntities()
{
    m_retainedRoms.clear();
    m_entityGathering.stop();
    m_entityScan = EntityScan::Gathering;
    m_mqtt.subscribe(BridgeMessages::discoveryPattern());
}

void GatewayPublisher::onBrokerMessage(const QString &topic, const QByteArray &payload)
{
    if (m_entityScan != EntityScan::Gathering)
        return;
    const QString rom = BridgeMessages::romOfDiscoveryTopic(m_id, topic);
    if (rom.isEmpty())
        return;
    // An empty payload is an entity already withdrawn.
    if (payload.isEmpty())
        m_retainedRoms.remove(rom);
    else
        m_retainedRoms.insert(rom);
}

void GatewayPublisher::endEntityGathering()
{
    if (m_entityScan != EntityScan::Gathering)
        return;
    m_mqtt.unsubscribe(BridgeMessages::discoveryPattern());
    m_entityScan = EntityScan::Gathered;
    withdrawStaleEntities();
}

void GatewayPublisher::withdrawStaleEntities()
{
    // Only once every channel has been read since the port opened: until then a channel's
    // device is not known.
    if (m_entityScan != EntityScan::Gathered || !wholeRoundRead() || !m_mqtt.isConnected())
        return;
    QSet<QString> held;
    for (const Channel &c : m_channels)
        if (c.record && BridgeMessages::isThermometer(*c.record))
            held.insert(RomCode::toText(c.record->rom));
    int withdrawn = 0;
    for (const QString &rom : std::as_const(m_retainedRoms)) {
        if (held.contains(rom))
            continue;
        publish(BridgeMessages::discoveryTopic(m_id, rom), QByteArray(), true);
        ++withdrawn;
    }
    m_retainedRoms.clear();
    m_entityScan = EntityScan::Off;
    if (withdrawn > 0)
        m_say(withdrawn == 1
                ? QStringLiteral("Withdrew 1 Home Assistant entity whose device no channel holds any more")
                : QStringLiteral("Withdrew %1 Home Assistant entities whose devices no channel holds any more")
                      .arg(withdrawn));
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
    for (int i = 0; i < int(m_channels.size()); ++i) {
        if (fresh)
            publishChannel(i, force);
        publishDiscovery(i, false);
    }
}

void GatewayPublisher::publishAvailability(bool force)
{
    publish(BridgeMessages::availabilityTopic(m_id),
        m_linkState == LinkState::Answering ? kOnline : kOffline, force);
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
    publish(BridgeMessages::linkTopic(m_id), BridgeMessages::compact(o), force);
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
    const QString topic = BridgeMessages::channelTopic(m_id, number);
    // A freed channel's retained state is cleared (an empty retained message), and so is one
    // left behind by an earlier run; a heartbeat does not repeat the clearing.
    if (!BridgeMessages::isUsed(*c.record)) {
        publish(topic, QByteArray());
        return;
    }
    publish(topic,
        BridgeMessages::compact(BridgeMessages::state(*c.record, number, description(index))),
        force);
}

void GatewayPublisher::publishDiscovery(int index, bool force)
{
    Channel &c = m_channels[size_t(index)];
    if (!c.record || m_firmware.isEmpty())
        return;
    const QString rom
        = BridgeMessages::isThermometer(*c.record) ? RomCode::toText(c.record->rom) : QString();
    // The entity of a device that left the channel goes with it (once the broker is there to
    // hear it).
    if (!c.discoveredRom.isEmpty() && c.discoveredRom != rom) {
        if (!m_mqtt.isConnected())
            return;
        publish(BridgeMessages::discoveryTopic(m_id, c.discoveredRom), QByteArray(), true);
        c.discoveredRom.clear();
    }
    if (rom.isEmpty())
        return;
    const int number = ChannelNumbering::displayNumber(index + 1);
    const QString text = description(index);
    const QString name = text.isEmpty() ? QStringLiteral("Ch %1").arg(number) : text;
    publish(BridgeMessages::discoveryTopic(m_id, rom),
        BridgeMessages::compact(BridgeMessages::discovery(m_id, rom, number, name, m_firmware)),
        force);
    if (m_mqtt.isConnected())
        c.discoveredRom = rom;
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
    s.gateway = m_id;
    s.linkUp = m_linkState == LinkState::Answering;
    s.requests = m_requests;
    s.answers = m_answers;
    s.errors = m_errors;
    s.cycleSeconds = m_cycleSeconds;
    if (m_lastAnswer)
        s.lastAnswerSeconds = unixSeconds(*m_lastAnswer);
    for (int i = 0; i < int(m_channels.size()); ++i) {
        const Channel &c = m_channels[size_t(i)];
        if (!c.record || !BridgeMessages::isUsed(*c.record))
            continue;
        MetricsSnapshot::Channel m;
        m.number = ChannelNumbering::displayNumber(i + 1);
        m.rom = RomCode::toText(c.record->rom);
        m.description = description(i);
        m.status = c.record->status;
        const QJsonValue t = BridgeMessages::state(*c.record, m.number, m.description)
                                 .value(QStringLiteral("temperature"));
        if (t.isDouble())
            m.temperature = t.toDouble();
        if (c.lastGood)
            m.lastGoodSeconds = unixSeconds(*c.lastGood);
        s.channels.append(m);
    }
    return s;
}
