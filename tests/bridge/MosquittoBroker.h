#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

struct mosquitto;

// Debian's mosquitto as a child process on a free loopback port, with a generated
// configuration (anonymous clients, no persistence: a restart forgets every retained message,
// as a broker that lost its disk would).
class MosquittoBroker
{
public:
    MosquittoBroker();
    ~MosquittoBroker();

    // Starts the broker (on the same port again after stop()); false when it does not listen
    // within a few seconds.
    bool start();
    void stop();
    // Lines for the listener (TLS files, require_certificate), before start().
    void setListenerOptions(const QString &lines) { m_listenerOptions = lines; }
    int port() const { return m_port; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    // A loopback port nobody listens on just now.
    static int freePort();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QString m_listenerOptions;
};

// A subscriber to everything the bridge publishes, on libmosquitto's own thread. It keeps the
// last payload of each topic (an empty one is a cleared retained message) and every arrival.
class BrokerProbe
{
public:
    explicit BrokerProbe(int port);
    ~BrokerProbe();
    bool connected() const { return m_ok; }

    // Leaves a retained message on the broker (as an earlier client would have), at QoS 1.
    bool publishRetained(const QString &topic, const QByteArray &payload);

    bool has(const QString &topic) const;
    QByteArray last(const QString &topic) const;
    int count(const QString &topic) const;
    // Every payload that arrived on the topic, oldest first.
    QList<QByteArray> all(const QString &topic) const;
    QStringList topics(const QString &prefix) const;

private:
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *message);

    mosquitto *m_client = nullptr;
    bool m_ok = false;
    mutable QMutex m_mutex;
    QHash<QString, QByteArray> m_last;
    QHash<QString, int> m_count;
    QHash<QString, QList<QByteArray>> m_all;
};
