#include "MosquittoBroker.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <mosquitto.h>

MosquittoBroker::MosquittoBroker()
    : m_port(freePort())
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

int MosquittoBroker::freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

bool MosquittoBroker::start()
{
    const QString config = m_dir.filePath(QStringLiteral("mosquitto.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral("listener %1 127.0.0.1\n%2\nallow_anonymous true\npersistence false\n")
                   .arg(m_port)
                   .arg(m_listenerOptions)
                   .toUtf8());
    file.close();
    m_process.start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), config});
    if (!m_process.waitForStarted(3000))
        return false;
    return QTest::qWaitFor(
        [this] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, quint16(m_port));
            return probe.waitForConnected(100);
        },
        5000);
}

void MosquittoBroker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(3000);
}

BrokerProbe::BrokerProbe(int port)
{
    mosquitto_lib_init();
    m_client = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(m_client, &BrokerProbe::onMessage);
    if (mosquitto_connect(m_client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
        return;
    // Everything, whatever prefixes the bridge was given.
    mosquitto_subscribe(m_client, nullptr, "#", 1);
    m_ok = mosquitto_loop_start(m_client) == MOSQ_ERR_SUCCESS;
}

BrokerProbe::~BrokerProbe()
{
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, true);
    mosquitto_destroy(m_client);
}

void BrokerProbe::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *probe = static_cast<BrokerProbe *>(self);
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    QMutexLocker lock(&probe->m_mutex);
    probe->m_last.insert(topic, payload);
    probe->m_count[topic] += 1;
    probe->m_all[topic].append(payload);
}

bool BrokerProbe::publishRetained(const QString &topic, const QByteArray &payload)
{
    const QByteArray t = topic.toUtf8();
    return mosquitto_publish(m_client, nullptr, t.constData(), int(payload.size()),
               payload.constData(), 1, true)
        == MOSQ_ERR_SUCCESS;
}

bool BrokerProbe::has(const QString &topic) const
{
    QMutexLocker lock(&m_mutex);
    return m_last.contains(topic);
}

QByteArray BrokerProbe::last(const QString &topic) const
{
    QMutexLocker lock(&m_mutex);
    return m_last.value(topic);
}

QList<QByteArray> BrokerProbe::all(const QString &topic) const
{
    QMutexLocker lock(&m_mutex);
    return m_all.value(topic);
}

int BrokerProbe::count(const QString &topic) const
{
    QMutexLocker lock(&m_mutex);
    return m_count.value(topic);
}

QStringList BrokerProbe::topics(const QString &prefix) const
{
    QMutexLocker lock(&m_mutex);
    QStringList out;
    for (auto it = m_last.constBegin(); it != m_last.constEnd(); ++it)
        if (it.key().startsWith(prefix) && !it.value().isEmpty())
            out.append(it.key());
    out.sort();
    return out;
}
