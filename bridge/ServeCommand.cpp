#include "ServeCommand.h"

#include "BridgeMessages.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "Console.h"
#include "DescriptionsSource.h"
#include "ErrorGuard.h"
#include "EventWait.h"
#include "Freshness.h"
#include "HangupSignal.h"
#include "LinkPort.h"
#include "MetricsServer.h"
#include "MetricsText.h"
#include "MqttLink.h"
#include "RegisterMap.h"
#include "SecretChecks.h"

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

BridgeMessages topicsOf(const ServeOptions &options, const QString &id)
{
    BridgeMessages topics(id, options.topicPrefix, options.discoveryPrefix);
    if (!options.bridgeName.isEmpty())
        topics.setBridgeTopic(BridgeMessages::bridgeTopic(options.topicPrefix, options.bridgeName));
    return topics;
}

const QByteArray kOnline = QByteArrayLiteral("online");

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
    const bool several = !options.bridgeName.isEmpty();
    broker.clientId = QStringLiteral("tarvik-") + (several ? options.bridgeName : options.name);
    broker.user = options.mqttUser;
    broker.password = options.mqttPassword;
    broker.caFile = options.mqttCaFile;
    broker.tls = options.mqttTls;
    broker.certFile = options.mqttCertFile;
    broker.keyFile = options.mqttKeyFile;
    for (const QString &warning : SecretChecks::warnings(options))
        ctx.console.err(warning);
    // The broker sends one last will: the gateway's availability, or with several the bridge's.
    broker.willTopic = several ? BridgeMessages::bridgeTopic(options.topicPrefix, options.bridgeName)
                               : topicsOf(options, options.name).availabilityTopic();
    broker.willPayload = kOffline;
    MqttLink mqtt(broker);

    ServeCommand serve(ctx, options, mqtt);
    const QStringList files = serve.descriptionFiles();
    for (size_t g = 0; g < serve.m_gateways.size(); ++g) {
        if (files[int(g)].isEmpty())
            continue;
        const auto loaded = DescriptionsSource::load(files[int(g)], ctx.options.numbering);
        if (!loaded.encodingNote.isEmpty())
            serve.say(loaded.encodingNote);
        serve.m_gateways[g]->setDescriptions(loaded.records);
    }
    if (options.metricsPort > 0) {
        MetricsServer::Access access;
        if (options.web) {
            access.users = options.web->users;
            if (options.web->tls()) {
                QSslConfiguration tls;
                QString error;
                if (!options.web->sslConfiguration(tls, error))
                    throw CliFailure::usage(QStringLiteral("--web-config: %1").arg(error));
                access.tls = tls;
            }
        }
        serve.m_metrics = std::make_unique<MetricsServer>(
            [&serve] { return serve.metricsText(); }, MetricsGuard::Limits {}, std::move(access));
        const QHostAddress address
            = options.metricsAddress.value_or(QHostAddress(QHostAddress::LocalHost));
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
        if (!serve.m_line.port().isActive())
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
        for (const auto &gateway : serve.m_gateways)
            gateway->sayGoodbye();
        serve.publishBridge(kOffline);
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
    , m_line(ctx.options.link, ctx.wait)
{
    for (int g = 0; g < m_line.size(); ++g) {
        GatewaySession &session = m_line.session(g);
        // Nothing the gateway or the port does ends the bridge.
        session.setSilenceEndsSession(false);
        session.setExceptionsEndSession(false);
        session.setPortLossEndsSession(false);
        const int silenceMs = ctx.options.link.timeoutMs.value_or(qMax(kLeastSilenceMs, session.timeoutMs()));
        m_gateways.push_back(std::make_unique<GatewayPublisher>(
            topicsOf(options, options.names.value(g)), options.discovery, session.link(), silenceMs, mqtt,
            [this](const QString &line) { say(line); }, [&session] { return session.gateway().Counters().Snapshot(); }));
        m_firstRound.push_back(true);
        // Chained behind the session's own handler, which keeps the blocks and the wait.
        TTarvikKomunikator &gateway = session.gateway();
        auto sessionBlock = gateway.OnBlockReceived;
        gateway.OnBlockReceived = [this, sessionBlock, g] {
            if (sessionBlock)
                sessionBlock();
            onBlock(g);
        };
    }

    m_reopen.setSingleShot(true);
    connect(&m_reopen, &QTimer::timeout, this, &ServeCommand::openPort);
    m_heartbeat.setInterval(m_options.heartbeatS * 1000);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] {
        for (const auto &gateway : m_gateways)
            gateway->republish();
    });

    TAfComPort *port = &m_line.port();
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
    QString metrics;
    if (m_metrics) {
        QStringList guards;
        if (m_options.web && m_options.web->tls())
            guards << QStringLiteral("TLS");
        if (m_options.web && !m_options.web->users.isEmpty())
            guards << QStringLiteral("passwords");
        metrics = QStringLiteral(", metrics on port %1").arg(m_metrics->port())
            + (guards.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(guards.join(u", ")));
    }
    if (m_gateways.size() == 1)
        say(QStringLiteral("Serving gateway %1 (%2) to the MQTT broker %3%4")
                .arg(m_options.name, m_line.session(0).link().describe(), m_mqtt.address(), metrics));
    else
        say(QStringLiteral("Serving %1 gateways on %2 at %3 Bd (%4) to the MQTT broker %5%6")
                .arg(m_gateways.size())
                .arg(m_ctx.options.link.port)
                .arg(m_ctx.options.link.baud)
                .arg([this] {
                    QStringList ids;
                    for (int g = 0; g < m_line.size(); ++g)
                        ids.append(QStringLiteral("%1 at address %2").arg(m_options.names.value(g)).arg(m_line.session(g).link().address));
                    return ids.join(QStringLiteral(", "));
                }(), m_mqtt.address(), metrics));
    connect(&m_mqtt, &MqttLink::connected, this, [this] {
        if (!m_mqtt.isConnected())
            return;
        say(QStringLiteral("Connected to the MQTT broker %1").arg(m_mqtt.address()));
        publishBridge(kOnline);
    });
    publishBridge(kOnline);
    connect(&m_mqtt, &MqttLink::disconnected, this, [this](const QString &reason, int retryMs) {
        say(QStringLiteral("MQTT broker %1: %2; trying again in %3 s")
                .arg(m_mqtt.address(), reason)
                .arg(retryMs / 1000.0));
    });
    for (const auto &gateway : m_gateways)
        gateway->start();
    m_heartbeat.start();
    openPort();
}

void ServeCommand::publishBridge(const QByteArray &state)
{
    if (!m_options.bridgeName.isEmpty() && m_mqtt.isConnected())
        m_mqtt.publish(BridgeMessages::bridgeTopic(m_options.topicPrefix, m_options.bridgeName), state, true);
}

void ServeCommand::stop()
{
    m_heartbeat.stop();
    m_reopen.stop();
    for (const auto &gateway : m_gateways)
        gateway->stop();
    m_line.close();
}

void ServeCommand::openPort()
{
    try {
        m_line.open();
    } catch (const CliFailure &failure) {
        // Said once, not at every try; a port that went away and is still missing was
        // reported as gone already.
        const bool stillGone = failure.portMissing && m_portGone;
        if (failure.message != m_lastPortError && !stillGone)
            say(failure.message + QStringLiteral("; trying again every %1 s").arg(ReopenMs / 1000));
        if (!stillGone) {
            m_lastPortError = failure.message;
            m_portGone = false;
            for (const auto &gateway : m_gateways)
                gateway->portClosed(failure.message);
        }
        m_reopen.start(ReopenMs);
        return;
    }
    if (!m_lastPortError.isEmpty())
        say(QStringLiteral("The port %1 is open again").arg(m_ctx.options.link.port));
    m_lastPortError.clear();
    m_portGone = false;
    for (int g = 0; g < m_line.size(); ++g) {
        m_firstRound[size_t(g)] = true;
        m_gateways[size_t(g)]->portOpened();
        m_line.session(g).keepReading(kFirstRound);
    }
}

void ServeCommand::onPortLost(const QString &reason)
{
    if (m_gateways.front()->linkState() == GatewayPublisher::LinkState::PortClosed)
        return;
    for (const auto &gateway : m_gateways)
        gateway->accountCounters();
    m_line.close();
    const QString text = LinkPort::goneText(m_ctx.options.link.port, reason);
    say(text + QStringLiteral("; trying again every %1 s").arg(ReopenMs / 1000));
    m_lastPortError = text;
    m_portGone = true;
    for (const auto &gateway : m_gateways)
        gateway->portClosed(text);
    m_reopen.start(ReopenMs);
}

void ServeCommand::onBlock(int g)
{
    GatewaySession &session = m_line.session(g);
    GatewayPublisher &publisher = *m_gateways[size_t(g)];
    const int block = session.gateway().LastBlockIndex();
    publisher.takeBlock(block, session.block(block));
    // After the first whole round the service block is not asked for again.
    if (m_firstRound[size_t(g)] && publisher.wholeRoundRead()) {
        m_firstRound[size_t(g)] = false;
        session.keepReading(kChannelBlocks);
    }
}

QStringList ServeCommand::descriptionFiles() const
{
    QStringList files(m_line.size());
    if (m_options.descriptions.isEmpty())
        return files;
    const QStringList given = m_line.size() > 1 ? m_options.descriptions.split(QLatin1Char(',')) : QStringList{m_options.descriptions};
    if (given.size() != m_line.size())
        throw CliFailure::usage(QStringLiteral("--descriptions gives %1 files for %2 gateways: one for each, separated by commas")
                                    .arg(given.size())
                                    .arg(m_line.size()));
    return given;
}

void ServeCommand::reloadDescriptions()
{
    if (m_options.descriptions.isEmpty()) {
        say(QStringLiteral("SIGHUP: no descriptions file to reload"));
        return;
    }
    const QStringList files = descriptionFiles();
    for (int g = 0; g < files.size(); ++g) {
        DescriptionsSource::Loaded descriptions;
        try {
            descriptions = DescriptionsSource::load(files[g], m_ctx.options.numbering);
        } catch (const CliFailure &failure) {
            say(failure.message + QStringLiteral("; the descriptions stay as they were"));
            continue;
        }
        if (!descriptions.encodingNote.isEmpty())
            say(descriptions.encodingNote);
        say(QStringLiteral("Descriptions reloaded from %1").arg(files[g]));
        m_gateways[size_t(g)]->setDescriptions(descriptions.records);
    }
}

QByteArray ServeCommand::metricsText()
{
    QList<MetricsSnapshot> all;
    for (const auto &gateway : m_gateways) {
        MetricsSnapshot s = gateway->metrics();
        s.mqttConnected = m_mqtt.isConnected();
        all.append(s);
    }
    return MetricsText::render(all);
}
