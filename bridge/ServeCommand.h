#pragma once

#include "BusSession.h"
#include "GatewayPublisher.h"
#include "ServeOptions.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

class MetricsServer;
class MqttLink;
struct CliContext;

// `tarvik-cli serve`: polls the gateway for as long as it runs and hands every used channel to
// an MQTT broker (retained state, availability, link state and Home Assistant discovery) and,
// when asked, to Prometheus through /metrics. The serial port going away, the gateway falling
// silent and the broker going down are all waited out: the port is reopened every few seconds,
// the broker reconnected with a growing pause, and on return the latest state is published.
// SIGTERM or Ctrl+C publishes "offline" and ends with exit code 0; SIGHUP reloads the
// descriptions file. Several gateways on one line (--address 1,2,5-8) are served by one
// bridge, each with its own ID, availability, Home Assistant device and metrics series. This
// class owns the line, the broker connection and the metrics endpoint; what is published for
// each gateway is its GatewayPublisher's.
class ServeCommand : public QObject
{
    Q_OBJECT
public:
    static int run(CliContext &ctx);

    // How often a closed or vanished port is tried again.
    static constexpr int ReopenMs = 2000;

private:
    ServeCommand(CliContext &ctx, const ServeOptions &options, MqttLink &mqtt);

    void start();
    void stop();
    void openPort();
    void onPortLost(const QString &reason);
    void onBlock(int gateway);
    void reloadDescriptions();
    // The descriptions file of each gateway, in the order of --address: one per gateway.
    QStringList descriptionFiles() const;
    void publishBridge(const QByteArray &state);
    QByteArray metricsText();
    void say(const QString &line);

    CliContext &m_ctx;
    ServeOptions m_options;
    MqttLink &m_mqtt;
    BusSession m_line;
    std::vector<std::unique_ptr<GatewayPublisher>> m_gateways; // one per session of the line
    std::vector<bool> m_firstRound;
    std::unique_ptr<MetricsServer> m_metrics;
    QTimer m_reopen;
    QTimer m_heartbeat;
    QString m_lastPortError;
    bool m_portGone = false; // the open port went away and has not been opened since
};
