#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

class QSocketNotifier;
struct mosquitto;

// One connection to an MQTT broker through libmosquitto, driven by Qt's event loop: the
// client's socket is watched with socket notifiers and libmosquitto's read, write and
// housekeeping steps run on this thread, so its callbacks arrive here too. A lost connection
// is retried with a growing pause (1 s, 2 s, 4 s ... 30 s). Every attempt starts a new client,
// so nothing published before the loss is sent again afterwards: the owner republishes its
// latest state on connected() instead of replaying a backlog.
class MqttLink : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        QString host;
        int port = 1883;
        QString clientId;
        QString user;
        std::optional<QString> password;
        QString caFile; // TLS against this authority when set
        bool tls = false; // TLS, against caFile or else the system's authorities
        QString certFile; // the client's certificate and key, for brokers that ask for one
        QString keyFile;
        QString willTopic;
        QByteArray willPayload;
        int keepAliveS = 30;
        int connectTimeoutMs = 10000;
    };
    enum class State { Idle, Connecting, Connected, Waiting };

    explicit MqttLink(const Settings &settings, QObject *parent = nullptr);
    ~MqttLink() override;

    // Starts the first connection attempt; later ones follow by themselves.
    void start();
    State state() const { return m_state; }
    bool isConnected() const { return m_state == State::Connected; }
    // Why the last attempt failed or the connection ended.
    QString lastError() const { return m_lastError; }
    QString address() const;

    // Publishes at QoS 1. Returns the message id, or -1 while not connected (nothing is kept
    // for later).
    int publish(const QString &topic, const QByteArray &payload, bool retain);
    // Messages sent and not yet acknowledged by the broker.
    bool awaitingAcks() const { return !m_unacked.isEmpty(); }
    // Subscribes at QoS 1 (messageReceived), or ends that. Nothing is done while not connected.
    void subscribe(const QString &pattern);
    void unsubscribe(const QString &pattern);
    // Says goodbye to the broker (so it does not send the last will) and stops retrying.
    void disconnectFromBroker();

signals:
    void connected();
    // The broker took a subscription; its retained messages follow.
    void subscribed();
    void messageReceived(const QString &topic, const QByteArray &payload);
    // The attempt failed or the connection ended; another attempt is due after retryMs.
    void disconnected(const QString &reason, int retryMs);
    void delivered();

private:
    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onLog(mosquitto *, void *self, int level, const char *text);
    static void onSubscribe(mosquitto *, void *self, int mid, int count, const int *granted);
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *message);

    void attempt();
    void watchSocket();
    void dropSocket();
    void lost(const QString &reason);
    void updateWriteWatch();
    void afterCall(int rc);
    QString failureText(int rc) const;
    int setUpTls();
    // Why the socket of a connection being made is dead; empty while it may still come up.
    QString socketFailure() const;
    void onReadable();
    void onWritable();

    Settings m_settings;
    mosquitto *m_client = nullptr;
    State m_state = State::Idle;
    QString m_lastError;
    std::unique_ptr<QSocketNotifier> m_read;
    std::unique_ptr<QSocketNotifier> m_write;
    QTimer m_housekeeping; // keep-alive pings and their answers
    QTimer m_retry;
    QTimer m_connectTimeout;
    int m_backoffMs = 1000;
    bool m_stopped = false;
    QSet<int> m_unacked;
    QString m_tlsError; // what the TLS library said went wrong in this attempt
};
