#include "ServeCommand.h"

#include "BridgeMessages.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "Console.h"
#include "DescriptionsArgument.h"
#include "ErrorGuard.h"
#include "EventWait.h"
#include "Freshness.h"
#include "HangupSignal.h"
#include "LinkPort.h"
#include "MetricsServer.h"
#include "MetricsText.h"
#include "MqttLink.h"
#include "RegisterMap.h"

#include <QLocale>

namespace {

const QList<int> kChannelBlocks = {0, 1, 2, 3};
// After each open the service block comes first: its firmware version names the device in
// Home Assistant.
const QList<int> kFirstRound = {ServiceBlockIndex, 0, 1, 2, 3};
// A gateway silent for this long (unless --timeout says otherwise) is reported offline, as the
// window shows its values as old then; one lost answer is not.
constexpr int kLeastSilenceMs = Freshness::StaleAfterMs;
// How long the goodbye ("offline") may take to be acknowledged at the end.
constexpr int kGoodbyeMs = 3000;
const QByteArray kOffline = QByteArrayLiteral("offline");

BridgeMessages topicsOf(const ServeOptions &options)
{
    return BridgeMessages(options.name, options.topicPrefix, options.discoveryPrefix);
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
    broker.willTopic = topicsOf(options).availabilityTopic();
    broker.willPayload = kOffline;
    MqttLink mqtt(broker);

    ServeCommand serve(ctx, options, mqtt);
    if (!options.descriptions.isEmpty())
        serve.m_gateway->setDescriptions(
            DescriptionsArgument::load(options.descriptions, ctx.options.numbering));
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
        serve.m_gateway->sayGoodbye();
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

    const int silenceMs
        = ctx.options.link.timeoutMs.value_or(qMax(kLeastSilenceMs, m_session.timeoutMs()));
    m_gateway = std::make_unique<GatewayPublisher>(
        topicsOf(options), options.discovery, m_session.link(), silenceMs, mqtt,
        [this](const QString &line) { say(line); },
        [this] { return m_session.gateway().Counters().Snapshot(); });

    m_reopen.setSingleShot(true);
    connect(&m_reopen, &QTimer::timeout, this, &ServeCommand::openPort);
    m_heartbeat.setInterval(m_options.heartbeatS * 1000);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] { m_gateway->republish(); });

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
    connect(&m_mqtt, &MqttLink::connected, this, [this] {
        if (m_mqtt.isConnected())
            say(QStringLiteral("Connected to the MQTT broker %1").arg(m_mqtt.address()));
    });
    connect(&m_mqtt, &MqttLink::disconnected, this, [this](const QString &reason, int retryMs) {
        say(QStringLiteral("MQTT broker %1: %2; trying again in %3 s")
                .arg(m_mqtt.address(), reason)
                .arg(retryMs / 1000.0));
    });
    m_gateway->start();
    m_heartbeat.start();
    openPort();
}

void ServeCommand::stop()
{
    m_heartbeat.stop();
    m_reopen.stop();
    m_gateway->stop();
    m_session.close();
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
            m_gateway->portClosed(failure.message);
        }
        m_reopen.start(ReopenMs);
        return;
    }
    if (!m_lastPortError.isEmpty())
        say(QStringLiteral("The port %1 is open again").arg(m_session.link().port));
    m_lastPortError.clear();
    m_portGone = false;
    m_firstRound = true;
    m_gateway->portOpened();
    m_session.keepReading(kFirstRound);
}

void ServeCommand::onPortLost(const QString &reason)
{
    if (m_gateway->linkState() == GatewayPublisher::LinkState::PortClosed)
        return;
    m_gateway->accountCounters();
    m_session.close();
    const QString text = LinkPort::goneText(m_session.link().port, reason);
    say(text + QStringLiteral("; trying again every %1 s").arg(ReopenMs / 1000));
    m_lastPortError = text;
    m_portGone = true;
    m_gateway->portClosed(text);
    m_reopen.start(ReopenMs);
}

void ServeCommand::onBlock()
{
    const int block = m_session.gateway().LastBlockIndex();
    m_gateway->takeBlock(block, m_session.block(block));
    // After the first whole round the service block is not asked for again.
    if (m_firstRound && m_gateway->wholeRoundRead()) {
        m_firstRound = false;
        m_session.keepReading(kChannelBlocks);
    }
}

void ServeCommand::reloadDescriptions()
{
    if (m_options.descriptions.isEmpty()) {
        say(QStringLiteral("SIGHUP: no descriptions file to reload"));
        return;
    }
    QList<TDescriptionRecord> descriptions;
    try {
        descriptions = DescriptionsArgument::load(m_options.descriptions, m_ctx.options.numbering);
    } catch (const CliFailure &failure) {
        say(failure.message + QStringLiteral("; the descriptions stay as they were"));
        return;
    }
    say(QStringLiteral("Descriptions reloaded from %1").arg(m_options.descriptions));
    m_gateway->setDescriptions(descriptions);
}

QByteArray ServeCommand::metricsText()
{
    MetricsSnapshot s = m_gateway->metrics();
    s.mqttConnected = m_mqtt.isConnected();
    return MetricsText::render(s);
}
