#include "MqttLink.h"

#include <QSocketNotifier>
#include <mosquitto.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kFirstRetryMs = 1000;
constexpr int kLongestRetryMs = 30000;
constexpr int kQos = 1;

// libmosquitto keeps global state (its TLS library among it) that must be set up once.
void initLibrary()
{
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    Q_UNUSED(done);
}

QString errorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(strerror(errno));
    QString text = QString::fromUtf8(mosquitto_strerror(rc));
    // libmosquitto's texts are sentences; here they end up inside one.
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

bool isConnectionError(int rc)
{
    return rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_ERRNO
        || rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_PROTOCOL || rc == MOSQ_ERR_CONN_REFUSED;
}

} // namespace

MqttLink::MqttLink(const Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
    initLibrary();
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttLink::attempt);
    m_connectTimeout.setSingleShot(true);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        lost(QStringLiteral("no answer from the broker within %1 s")
                 .arg(m_settings.connectTimeoutMs / 1000));
    });
    // Pings go out once the keep-alive time has passed without traffic; checking a few times
    // per keep-alive period is enough for the broker's 1.5 periods of grace.
    m_housekeeping.setInterval(qBound(1000, m_settings.keepAliveS * 1000 / 6, 10000));
    connect(&m_housekeeping, &QTimer::timeout, this, [this] {
        if (m_client && m_state == State::Connected) {
            const int rc = mosquitto_loop_misc(m_client);
            afterCall(rc);
        }
    });
}

MqttLink::~MqttLink()
{
    dropSocket();
    if (m_client)
        mosquitto_destroy(m_client);
}

QString MqttLink::address() const
{
    return m_settings.host.contains(QLatin1Char(':'))
        ? QStringLiteral("[%1]:%2").arg(m_settings.host).arg(m_settings.port)
        : QStringLiteral("%1:%2").arg(m_settings.host).arg(m_settings.port);
}

void MqttLink::start()
{
    m_stopped = false;
    attempt();
}

void MqttLink::attempt()
{
    dropSocket();
    if (m_client) {
        mosquitto_destroy(m_client);
        m_client = nullptr;
    }
    if (m_stopped)
        return;
    m_unacked.clear();
    m_state = State::Connecting;
    const QByteArray id = m_settings.clientId.toUtf8();
    m_client = mosquitto_new(id.constData(), true, this);
    if (!m_client) {
        lost(QStringLiteral("cannot create an MQTT client"));
        return;
    }
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_client, &MqttLink::onConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttLink::onDisconnect);
    mosquitto_publish_callback_set(m_client, &MqttLink::onPublish);
    int rc = MOSQ_ERR_SUCCESS;
    if (!m_settings.willTopic.isEmpty()) {
        const QByteArray topic = m_settings.willTopic.toUtf8();
        rc = mosquitto_will_set(m_client, topic.constData(), int(m_settings.willPayload.size()),
            m_settings.willPayload.constData(), kQos, true);
    }
    if (rc == MOSQ_ERR_SUCCESS && !m_settings.user.isEmpty()) {
        const QByteArray user = m_settings.user.toUtf8();
        const QByteArray password = m_settings.password.value_or(QString()).toUtf8();
        rc = mosquitto_username_pw_set(
            m_client, user.constData(), m_settings.password ? password.constData() : nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS && !m_settings.caFile.isEmpty()) {
        const QByteArray ca = m_settings.caFile.toLocal8Bit();
        rc = mosquitto_tls_set(m_client, ca.constData(), nullptr, nullptr, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(errorText(rc));
        return;
    }
    // Without blocking: a broker host that drops packets must not stall the poll cycle.
    const QByteArray host = m_settings.host.toUtf8();
    rc = mosquitto_connect_async(
        m_client, host.constData(), m_settings.port, m_settings.keepAliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(rc == MOSQ_ERR_EAI
                ? QStringLiteral("cannot resolve the host name %1").arg(m_settings.host)
                : errorText(rc));
        return;
    }
    m_connectTimeout.start(m_settings.connectTimeoutMs);
    watchSocket();
}

void MqttLink::watchSocket()
{
    const int fd = mosquitto_socket(m_client);
    if (fd < 0) {
        lost(QStringLiteral("no socket to the broker"));
        return;
    }
    m_read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_read.get(), &QSocketNotifier::activated, this, &MqttLink::onReadable);
    m_write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(m_write.get(), &QSocketNotifier::activated, this, &MqttLink::onWritable);
    updateWriteWatch();
    m_housekeeping.start();
}

void MqttLink::dropSocket()
{
    m_housekeeping.stop();
    m_connectTimeout.stop();
    // The notifiers may be the ones whose signal is being handled right now.
    for (auto *notifier : {&m_read, &m_write}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->disconnect(this);
            notifier->release()->deleteLater();
        }
    }
}

void MqttLink::updateWriteWatch()
{
    // Watching for room to write while there is nothing to write would wake the loop at once,
    // again and again.
    if (m_write && m_client)
        m_write->setEnabled(mosquitto_want_write(m_client));
}

void MqttLink::afterCall(int rc)
{
    if (rc != MOSQ_ERR_SUCCESS && isConnectionError(rc)) {
        lost(errorText(rc));
        return;
    }
    updateWriteWatch();
}

void MqttLink::onReadable()
{
    if (!m_client)
        return;
    afterCall(mosquitto_loop_read(m_client, 1));
}

void MqttLink::onWritable()
{
    if (!m_client)
        return;
    afterCall(mosquitto_loop_write(m_client, 1));
}

void MqttLink::lost(const QString &reason)
{
    if (m_state == State::Waiting || m_state == State::Idle)
        return;
    dropSocket();
    m_state = m_stopped ? State::Idle : State::Waiting;
    m_lastError = reason;
    m_unacked.clear();
    if (m_stopped)
        return;
    const int retryMs = m_backoffMs;
    m_backoffMs = qMin(m_backoffMs * 2, kLongestRetryMs);
    m_retry.start(retryMs);
    emit disconnected(reason, retryMs);
}

void MqttLink::onConnect(mosquitto *, void *self, int rc)
{
    auto *link = static_cast<MqttLink *>(self);
    if (rc != 0) {
        QString text = QString::fromUtf8(mosquitto_connack_string(rc));
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        link->lost(text);
        return;
    }
    link->m_connectTimeout.stop();
    link->m_state = State::Connected;
    link->m_backoffMs = kFirstRetryMs;
    link->m_lastError.clear();
    emit link->connected();
}

void MqttLink::onDisconnect(mosquitto *, void *self, int rc)
{
    auto *link = static_cast<MqttLink *>(self);
    link->lost(rc == 0 ? QStringLiteral("disconnected") : errorText(rc));
}

void MqttLink::onPublish(mosquitto *, void *self, int mid)
{
    auto *link = static_cast<MqttLink *>(self);
    link->m_unacked.remove(mid);
    emit link->delivered();
}

int MqttLink::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    if (m_state != State::Connected || !m_client)
        return -1;
    int mid = 0;
    const QByteArray t = topic.toUtf8();
    const int rc = mosquitto_publish(
        m_client, &mid, t.constData(), int(payload.size()), payload.constData(), kQos, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        afterCall(rc);
        return -1;
    }
    m_unacked.insert(mid);
    updateWriteWatch();
    return mid;
}

void MqttLink::disconnectFromBroker()
{
    m_stopped = true;
    m_retry.stop();
    if (m_client && m_state == State::Connected) {
        mosquitto_disconnect(m_client);
        // The goodbye is written at once when the socket has room; give it one more chance.
        if (mosquitto_want_write(m_client))
            mosquitto_loop_write(m_client, 1);
    }
    dropSocket();
    m_state = State::Idle;
}
