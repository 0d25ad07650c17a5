#pragma once

#include "GatewaySession.h"
#include "ServeOptions.h"
#include "TCounterSnapshot.h"
#include "TDescriptionRecord.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QObject>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>

class MetricsServer;
class MqttLink;
struct CliContext;

// `tarvik-cli serve`: polls the gateway for as long as it runs and hands every used channel to
// an MQTT broker (retained state, availability, link state and Home Assistant discovery) and,
// when asked, to Prometheus through /metrics. The serial port going away, the gateway falling
// silent and the broker going down are all waited out: the port is reopened every few seconds,
// the broker reconnected with a growing pause, and on return the latest state is published.
// SIGTERM or Ctrl+C publishes "offline" and ends with exit code 0; SIGHUP reloads the
// descriptions file.
class ServeCommand : public QObject
{
    Q_OBJECT
public:
    static int run(CliContext &ctx);

    // How often a closed or vanished port is tried again.
    static constexpr int ReopenMs = 2000;

private:
    enum class LinkState { PortClosed, Opening, Answering, Silent };
    struct Channel
    {
        std::optional<TChannelRecord> record; // as last read since the port opened
        QString discoveredRom; // the ROM code its Home Assistant entity stands for
        std::optional<QDateTime> lastGood;
    };

    ServeCommand(CliContext &ctx, const ServeOptions &options, MqttLink &mqtt);

    void start();
    void stop();
    void openPort();
    void onPortLost(const QString &reason);
    void onBlock();
    void onSilence();
    void setLinkState(LinkState state, const QString &reason = QString());
    void takeChannels(int block);
    void accountCounters();

    void onBrokerConnected();
    void onBrokerMessage(const QString &topic, const QByteArray &payload);
    void gatherEntities();
    void endEntityGathering();
    void withdrawStaleEntities();
    void publish(const QString &topic, const QByteArray &payload, bool force = false);
    void publishEverything(bool force);
    void publishChannel(int index, bool force);
    void publishDiscovery(int index, bool force);
    void publishAvailability(bool force);
    void publishLink(bool force);
    void reloadDescriptions();
    QString description(int index) const;
    QByteArray metricsText();
    void say(const QString &line);

    CliContext &m_ctx;
    ServeOptions m_options;
    MqttLink &m_mqtt;
    GatewaySession m_session;
    std::unique_ptr<MetricsServer> m_metrics;
    QTimer m_reopen;
    QTimer m_silence;
    QTimer m_heartbeat;
    LinkState m_linkState = LinkState::PortClosed;
    QString m_linkReason;
    QDateTime m_linkSince;
    QString m_lastPortError;
    bool m_portGone = false; // the open port went away and has not been opened since
    bool m_firstRound = true;
    int m_openedGeneration = 0;
    std::array<Channel, ChannelMap::ChannelCount> m_channels{};
    QList<TDescriptionRecord> m_descriptions;
    QString m_firmware;
    QElapsedTimer m_round;
    std::optional<double> m_cycleSeconds;
    std::optional<QDateTime> m_lastAnswer;
    TCounterSnapshot m_counted{};
    qint64 m_requests = 0;
    qint64 m_answers = 0;
    qint64 m_errors = 0;
    // What went to the broker on this connection, by topic: only changes are sent again.
    QHash<QString, QByteArray> m_sent;
    // After each connection the broker's retained entities of this gateway are gathered for a
    // moment; once every channel has been read, those no channel holds any more (freed or
    // given another device while the bridge was not running) are withdrawn.
    enum class EntityScan { Off, Gathering, Gathered };
    EntityScan m_entityScan = EntityScan::Off;
    QSet<QString> m_retainedRoms;
    QTimer m_entityGathering;
};
