#include "ServeCommand.h"

#include "BridgeMessages.h"
#include "ChannelNumbering.h"
#include "ChannelText.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "Console.h"
#include "Freshness.h"
#include "DescriptionFile.h"
#include "DescriptionsArgument.h"
#include "ErrorGuard.h"
#include "EventWait.h"
#include "HangupSignal.h"
#include "LinkPort.h"
#include "MetricsServer.h"
#include "MetricsText.h"
#include "MqttLink.h"
#include "RegisterMap.h"
#include "RomCode.h"

#include <QLocale>

namespace {

const QList<int> kChannelBlocks = {0, 1, 2, 3};
// After each open the service block comes first: its firmware version names the device in
// Home Assistant.
const QList<int> kFirstRound = {ServiceBlockIndex, 0, 1, 2, 3};
constexpr int kChannelBlockCount = 4;
// A gateway silent for this long (unless --timeout says otherwise) is reported offline, as the
// window shows its values as old then; one lost answer is not.
constexpr int kLeastSilenceMs = Freshness::StaleAfterMs;
// How long the goodbye ("offline") may take to be acknowledged at the end.
constexpr int kGoodbyeMs = 3000;
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

int ServeCommand::run(CliContext &ctx)
{
    CommandArgs args(ctx.options.command, ctx.options.arguments);
    const ServeOptions options = ServeOptions::parse(args, ctx.options.link);
    if (ctx.options.link.port.isEmpty())
        throw CliFailure::usage(QStringLiteral("no port given: use --port NAME"));
    // Values and numbers go to other programs: always with a decimal point.
    QLocale::setDefault(QLocale::c());

    MqttLink::Settings broker;
    broker.host = options.mqttHost;
    broker.port = options.mqttPort;
    broker.clientId = QStringLiteral("tarvik-") + options.name;
    broker.user = options.mqttUser;
    broker.password = options.mqttPassword;
    broker.caFile = options.mqttCaFile;
    broker.willTopic = BridgeMessages::availabilityTopic(options.name);
    broker.willPayload = kOffline;
    MqttLink mqtt(broker);

    ServeCommand serve(ctx, options, mqtt);
    if (!options.descriptions.isEmpty())
        serve.m_descriptions = DescriptionsArgument::load(options.descriptions, ctx.options.numbering);
    if (options.metricsPort > 0) {
        serve.m_metrics = std::make_unique<MetricsServer>([&serve] { return serve.metricsText(); });
        const QHostAddress address
            = options.metricsAddress.value_or(QHostAddress(QHostAddress::Any));
        if (!serve.m_metrics->listen(address, quint16(options.metricsPort)))
            throw CliFailure::failure(QStringLiteral(
                "Cannot serve metrics on %1 port %2: the address is in use or not this machine's")
                                          .arg(address.toString())
                                          .arg(options.metricsPort));
    }

    // The broker first: a wrong address or password is a set-up fault to report at once.
    bool failed = false;
    QObject::connect(&mqtt, &MqttLink::connected, &ctx.wait, &EventWait::check);
    const auto firstFailure = QObject::connect(&mqtt, &MqttLink::disconnected, &ctx.wait, [&] {
        failed = true;
        ctx.wait.check();
    });
    mqtt.start();
    if (ctx.wait.until([&] { return failed || mqtt.isConnected(); })
        == EventWait::Result::Interrupted) {
        mqtt.disconnectFromBroker();
        return int(ExitCode::Done);
    }
    QObject::disconnect(firstFailure);
    if (!mqtt.isConnected()) {
        mqtt.disconnectFromBroker();
        throw CliFailure::failure(QStringLiteral("Cannot connect to the MQTT broker %1: %2")
                                      .arg(mqtt.address(), mqtt.lastError()));
    }

    // From here on nothing ends the bridge but a signal: a failure inside the event loop is
    // logged, and a port that failed is opened again.
    ErrorGuard::setHandler([&serve](const QString &message) {
        serve.say(message.trimmed());
        if (!serve.m_session.gateway().Active())
            QMetaObject::invokeMethod(
                &serve, [&serve, message] { serve.onPortLost(message.trimmed()); },
                Qt::QueuedConnection);
    });
    HangupSignal hangup;
    QObject::connect(&hangup, &HangupSignal::raised, &serve, &ServeCommand::reloadDescriptions);
    serve.start();
    ctx.wait.until([] { return false; });
    serve.stop();

    // The goodbye: "offline" as the last word, acknowledged, then a clean disconnect (which
    // keeps the broker from sending the last will on top of it).
    if (mqtt.isConnected()) {
        serve.publish(BridgeMessages::availabilityTopic(options.name), kOffline, true);
        serve.publishLink(true);
        bool late = false;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &ctx.wait, [&] {
            late = true;
            ctx.wait.check();
        });
        QObject::connect(&mqtt, &MqttLink::delivered, &ctx.wait, &EventWait::check);
        deadline.start(kGoodbyeMs);
        ctx.wait.until([&] { return late || !mqtt.isConnected() || !mqtt.awaitingAcks(); }, false);
    }
    mqtt.disconnectFromBroker();
    ErrorGuard::setHandler(nullptr);
    return int(ExitCode::Done);
}

ServeCommand::ServeCommand(CliContext &ctx, const ServeOptions &options, MqttLink &mqtt)
    : m_ctx(ctx)
    , m_options(options)
    , m_mqtt(mqtt)
    , m_session(ctx.options.link, ctx.wait)
{
    // Nothing the gateway or the port does ends the bridge.
    m_session.setSilenceEndsSession(false);
    m_session.setExceptionsEndSession(false);
    m_session.setPortLossEndsSession(false);

    m_reopen.setSingleShot(true);
    connect(&m_reopen, &QTimer::timeout, this, &ServeCommand::openPort);
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, &ServeCommand::onSilence);
    m_entityGathering.setSingleShot(true);
    m_entityGathering.setInterval(kEntityGatheringMs);
    connect(&m_entityGathering, &QTimer::timeout, this, &ServeCommand::endEntityGathering);
    m_heartbeat.setInterval(m_options.heartbeatS * 1000);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] { publishEverything(true); });

    // Chained behind the session's own handlers, which keep the blocks and the wait.
    TTarvikKomunikator &gateway = m_session.gateway();
    auto sessionBlock = gateway.OnBlockReceived;
    gateway.OnBlockReceived = [this, sessionBlock] {
        if (sessionBlock)
            sessionBlock();
        onBlock();
    };
    TAfComPort *port = gateway.Port();
    auto sessionClosed = port->OnClosed;
    port->OnClosed = [this, sessionClosed](TAfComPort *sender, const QString &reason) {
        if (sessionClosed)
            sessionClosed(sender, reason);
        // Not from inside the port's own handler: it is still closing.
        QMetaObject::invokeMethod(
            this, [this, reason] { onPortLost(reason); }, Qt::QueuedConnection);
    };

    m_linkSince = QDateTime::currentDateTimeUtc();
}

void ServeCommand::say(const QString &line)
{
    m_ctx.console.err(line);
}

void ServeCommand::start()
{
    say(QStringLiteral("Serving gateway %1 (%2) to the MQTT broker %3%4")
            .arg(m_options.name, m_session.link().describe(), m_mqtt.address(),
                m_metrics ? QStringLiteral(", metrics on port %1").arg(m_metrics->port())
                          : QString()));
    connect(&m_mqtt, &MqttLink::connected, this, &ServeCommand::onBrokerConnected);
    connect(&m_mqtt, &MqttLink::messageReceived, this, &ServeCommand::onBrokerMessage);
    connect(&m_mqtt, &MqttLink::subscribed, this, [this] {
        if (m_entityScan == EntityScan::Gathering)
            m_entityGathering.start();
    });
    connect(&m_mqtt, &MqttLink::disconnected, this, [this](const QString &reason, int retryMs) {
        m_sent.clear();
        say(QStringLiteral("MQTT broker %1: %2; trying again in %3 s")
                .arg(m_mqtt.address(), reason)
                .arg(retryMs / 1000.0));
    });
    publishEverything(false);
    // The first connection came before these handlers were there.
    if (m_mqtt.isConnected())
        gatherEntities();
    m_heartbeat.start();
    openPort();
}

void ServeCommand::stop()
{
    m_heartbeat.stop();
    m_reopen.stop();
    m_silence.stop();
    accountCounters();
    m_session.close();
    m_linkState = LinkState::PortClosed;
    m_linkReason = QStringLiteral("stopped");
}

void ServeCommand::openPort()
{
    try {
        m_session.open();
    } catch (const CliFailure &failure) {
        // Said once, not at every try; a port that went away and is still missing was
        // reported as gone already.
        const bool stillGone = failure.portMissing && m_portGone;
        if (failure.message != m_lastPortError && !stillGone)
            say(failure.message + QStringLiteral("; trying again every %1 s").arg(ReopenMs / 1000));
        if (!stillGone) {
            m_lastPortError = failure.message;
            m_portGone = false;
            setLinkState(LinkState::PortClosed, failure.message);
        }
        m_reopen.start(ReopenMs);
        return;
    }
    if (!m_lastPortError.isEmpty())
        say(QStringLiteral("The port %1 is open again").arg(m_session.link().port));
    m_lastPortError.clear();
    m_portGone = false;
    // The counters restart with each open.
    m_counted = {};
    m_firstRound = true;
    m_openedGeneration = m_session.generation();
    m_round.invalidate();
    for (Channel &c : m_channels)
        c.record.reset();
    setLinkState(LinkState::Opening);
    m_session.keepReading(kFirstRound);
    m_silence.start(
        m_ctx.options.link.timeoutMs.value_or(qMax(kLeastSilenceMs, m_session.timeoutMs())));
}

void ServeCommand::onPortLost(const QString &reason)
{
    if (m_linkState == LinkState::PortClosed)
        return;
    accountCounters();
    m_silence.stop();
    m_session.close();
    const QString text = LinkPort::goneText(m_session.link().port, reason);
    say(text + QStringLiteral("; trying again every %1 s").arg(ReopenMs / 1000));
    m_lastPortError = text;
    m_portGone = true;
    setLinkState(LinkState::PortClosed, text);
    m_reopen.start(ReopenMs);
}

void ServeCommand::onSilence()
{
    accountCounters();
    setLinkState(LinkState::Silent,
        QStringLiteral("no answer from the gateway (%1)").arg(m_session.link().describe()));
    say(m_linkReason);
}

void ServeCommand::onBlock()
{
    const int block = m_session.gateway().LastBlockIndex();
    m_lastAnswer = QDateTime::currentDateTimeUtc();
    m_silence.start(
        m_ctx.options.link.timeoutMs.value_or(qMax(kLeastSilenceMs, m_session.timeoutMs())));
    accountCounters();
    if (m_linkState == LinkState::Silent)
        say(QStringLiteral("The gateway answers again"));

    if (block == ServiceBlockIndex) {
        const QString firmware = ChannelText::FormatVersion(m_session.block(
            ServiceBlockIndex)[size_t(ServiceRegs::offset(ServiceRegs::FirmwareVersion))]);
        const bool changed = firmware != m_firmware;
        m_firmware = firmware;
        if (changed)
            for (int i = 0; i < int(m_channels.size()); ++i)
                publishDiscovery(i, false);
    } else if (block < kChannelBlockCount) {
        if (block == 0) {
            if (m_round.isValid() && !m_firstRound)
                m_cycleSeconds = m_round.nsecsElapsed() / 1e9;
            m_round.start();
        }
        takeChannels(block);
    }
    if (m_firstRound) {
        bool all = true;
        for (int b : kFirstRound)
            all = all && m_session.blockGeneration(b) > m_openedGeneration;
        if (all) {
            m_firstRound = false;
            m_session.keepReading(kChannelBlocks);
        }
    }
    // Online once every channel has been read, so the first state a subscriber sees is whole.
    if (!m_firstRound || m_linkState == LinkState::Silent)
        setLinkState(LinkState::Answering);
    withdrawStaleEntities();
}

void ServeCommand::takeChannels(int block)
{
    const QList<TChannelRecord> records = m_session.channelRecords();
    for (int k = 0; k < ChannelMap::ChannelsPerBlock; ++k) {
        const int index = block * ChannelMap::ChannelsPerBlock + k;
        const TChannelRecord &r = records[index];
        Channel &c = m_channels[size_t(index)];
        c.record = r;
        if (BridgeMessages::isUsed(r) && r.status == ChannelStatus::Ok)
            c.lastGood = QDateTime::currentDateTimeUtc();
        publishChannel(index, false);
        publishDiscovery(index, false);
    }
}

void ServeCommand::accountCounters()
{
    const TCounterSnapshot now = m_session.gateway().Counters().Snapshot();
    // A count below the last one has started again (at an open, or past its limit).
    const auto add = [](qint64 &total, int32_t before, int32_t after) {
        total += after >= before ? after - before : after;
    };
    add(m_requests, m_counted.Tx, now.Tx);
    add(m_answers, m_counted.Rx, now.Rx);
    add(m_errors, m_counted.Err, now.Err);
    m_counted = now;
}

void ServeCommand::setLinkState(LinkState state, const QString &reason)
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

void ServeCommand::onBrokerConnected()
{
    // A new connection: the broker may have lost everything (a restart without persistence),
    // so the whole present state goes out once, and nothing older.
    m_sent.clear();
    if (m_mqtt.isConnected())
        say(QStringLiteral("Connected to the MQTT broker %1").arg(m_mqtt.address()));
    publishEverything(false);
    gatherEntities();
}

void ServeCommand::gatherEntities()
{
    m_retainedRoms.clear();
    m_entityGathering.stop();
    m_entityScan = EntityScan::Gathering;
    m_mqtt.subscribe(BridgeMessages::discoveryPattern());
}

void ServeCommand::onBrokerMessage(const QString &topic, const QByteArray &payload)
{
    if (m_entityScan != EntityScan::Gathering)
        return;
    const QString rom = BridgeMessages::romOfDiscoveryTopic(m_options.name, topic);
    if (rom.isEmpty())
        return;
    // An empty payload is an entity already withdrawn.
    if (payload.isEmpty())
        m_retainedRoms.remove(rom);
    else
        m_retainedRoms.insert(rom);
}

void ServeCommand::endEntityGathering()
{
    if (m_entityScan != EntityScan::Gathering)
        return;
    m_mqtt.unsubscribe(BridgeMessages::discoveryPattern());
    m_entityScan = EntityScan::Gathered;
    withdrawStaleEntities();
}

void ServeCommand::withdrawStaleEntities()
{
    // Only once every channel has been read since the port opened: until then a channel's
    // device is not known.
    if (m_entityScan != EntityScan::Gathered || m_firstRound || !m_mqtt.isConnected())
        return;
    QSet<QString> held;
    for (const Channel &c : m_channels)
        if (c.record && BridgeMessages::isThermometer(*c.record))
            held.insert(RomCode::toText(c.record->rom));
    int withdrawn = 0;
    for (const QString &rom : std::as_const(m_retainedRoms)) {
        if (held.contains(rom))
            continue;
        publish(BridgeMessages::discoveryTopic(m_options.name, rom), QByteArray(), true);
        ++withdrawn;
    }
    m_retainedRoms.clear();
    m_entityScan = EntityScan::Off;
    if (withdrawn > 0)
        say(withdrawn == 1
                ? QStringLiteral("Withdrew 1 Home Assistant entity whose device no channel holds any more")
                : QStringLiteral("Withdrew %1 Home Assistant entities whose devices no channel holds any more")
                      .arg(withdrawn));
}

void ServeCommand::publish(const QString &topic, const QByteArray &payload, bool force)
{
    if (!m_mqtt.isConnected())
        return;
    const auto sent = m_sent.constFind(topic);
    if (!force && sent != m_sent.constEnd() && *sent == payload)
        return;
    if (m_mqtt.publish(topic, payload, true) >= 0)
        m_sent.insert(topic, payload);
}

void ServeCommand::publishEverything(bool force)
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

void ServeCommand::publishAvailability(bool force)
{
    publish(BridgeMessages::availabilityTopic(m_options.name),
        m_linkState == LinkState::Answering ? kOnline : kOffline, force);
}

void ServeCommand::publishLink(bool force)
{
    accountCounters();
    static const char *const kStates[] = {"port closed", "opening", "answering", "silent"};
    const LinkOptions &link = m_session.link();
    QJsonObject o{
        {QStringLiteral("port"), link.port},
        {QStringLiteral("address"), link.address},
        {QStringLiteral("baud"), int(link.baud)},
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
    publish(BridgeMessages::linkTopic(m_options.name), BridgeMessages::compact(o), force);
}

QString ServeCommand::description(int index) const
{
    if (index >= m_descriptions.size())
        return QString();
    const QString text = m_descriptions[index].description.trimmed();
    return text == DescriptionFile::notFound() ? QString() : text;
}

void ServeCommand::publishChannel(int index, bool force)
{
    const Channel &c = m_channels[size_t(index)];
    if (!c.record)
        return;
    const int number = ChannelNumbering::displayNumber(index + 1);
    const QString topic = BridgeMessages::channelTopic(m_options.name, number);
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

void ServeCommand::publishDiscovery(int index, bool force)
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
        publish(
            BridgeMessages::discoveryTopic(m_options.name, c.discoveredRom), QByteArray(), true);
        c.discoveredRom.clear();
    }
    if (rom.isEmpty())
        return;
    const int number = ChannelNumbering::displayNumber(index + 1);
    const QString text = description(index);
    const QString name = text.isEmpty() ? QStringLiteral("Ch %1").arg(number) : text;
    publish(BridgeMessages::discoveryTopic(m_options.name, rom),
        BridgeMessages::compact(
            BridgeMessages::discovery(m_options.name, rom, number, name, m_firmware)),
        force);
    if (m_mqtt.isConnected())
        c.discoveredRom = rom;
}

void ServeCommand::reloadDescriptions()
{
    if (m_options.descriptions.isEmpty()) {
        say(QStringLiteral("SIGHUP: no descriptions file to reload"));
        return;
    }
    try {
        m_descriptions = DescriptionsArgument::load(m_options.descriptions, m_ctx.options.numbering);
    } catch (const CliFailure &failure) {
        say(failure.message + QStringLiteral("; the descriptions stay as they were"));
        return;
    }
    say(QStringLiteral("Descriptions reloaded from %1").arg(m_options.descriptions));
    for (int i = 0; i < int(m_channels.size()); ++i) {
        publishChannel(i, false);
        publishDiscovery(i, false);
    }
}

QByteArray ServeCommand::metricsText()
{
    accountCounters();
    MetricsSnapshot s;
    s.gateway = m_options.name;
    s.linkUp = m_linkState == LinkState::Answering;
    s.mqttConnected = m_mqtt.isConnected();
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
    return MetricsText::render(s);
}
