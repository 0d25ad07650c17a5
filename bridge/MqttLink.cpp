#include "MqttLink.h"

#include <QSocketNotifier>
#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

constexpr int kFirstRetryMs = 1000;
constexpr int kLongestRetryMs = 30000;
constexpr int kQos = 1;
constexpr const char *kSystemAuthorities = "/etc/ssl/certs";

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

// Whether the connection behind a dead socket ever came up. A refusal that an earlier write
// already reported leaves nothing to read but an end, as a broker that hung up does; only the
// former never had an answer to its opening (no round-trip time measured).
bool wasEstablished(int fd)
{
#ifdef __linux__
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0)
        return info.tcpi_rtt > 0;
#endif
    sockaddr_storage peer{};
    socklen_t length2 = sizeof peer;
    return ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length2) == 0;
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
    m_tlsError.clear();
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
    mosquitto_subscribe_callback_set(m_client, &MqttLink::onSubscribe);
    mosquitto_log_callback_set(m_client, &MqttLink::onLog);
    mosquitto_message_callback_set(m_client, &MqttLink::onMessage);
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
    if (rc == MOSQ_ERR_SUCCESS && (m_settings.tls || !m_settings.caFile.isEmpty()))
        rc = setUpTls();
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(failureText(rc));
        return;
    }
    // Without blocking: a broker host that drops packets must not stall the poll cycle.
    const QByteArray host = m_settings.host.toUtf8();
    rc = mosquitto_connect_async(
        m_client, host.constData(), m_settings.port, m_settings.keepAliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(rc == MOSQ_ERR_EAI
                ? QStringLiteral("cannot resolve the host name %1").arg(m_settings.host)
                : failureText(rc));
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
        lost(failureText(rc));
        return;
    }
    updateWriteWatch();
}

int MqttLink::setUpTls()
{
    // Without a CA file the system's authorities (the folder of hashed certificates that
    // ca-certificates keeps) vouch for the broker.
    const QByteArray ca = m_settings.caFile.toLocal8Bit();
    const QByteArray cert = m_settings.certFile.toLocal8Bit();
    const QByteArray key = m_settings.keyFile.toLocal8Bit();
    const auto orNull = [](const QByteArray &path) { return path.isEmpty() ? nullptr : path.constData(); };
    // A key that needs a pass phrase fails instead of asking for one on a terminal nobody
    // watches.
    const auto noPassPhrase = [](char *, int, int, void *) { return 0; };
    return mosquitto_tls_set(m_client, orNull(ca), ca.isEmpty() ? kSystemAuthorities : nullptr,
        orNull(cert), orNull(key), noPassPhrase);
}

QString MqttLink::failureText(int rc) const
{
    if (rc != MOSQ_ERR_TLS)
        return errorText(rc);
    // libmosquitto's own text ("A TLS error occurred") says nothing about the cause; the TLS
    // library's does.
    QString text = QStringLiteral("TLS refused");
    if (!m_tlsError.isEmpty())
        text += QStringLiteral(": ") + m_tlsError;
    if (m_tlsError.contains(QLatin1String("certificate verify failed")))
        text += QStringLiteral(" (the broker's certificate is not signed by %1, or does not name %2)")
                    .arg(m_settings.caFile.isEmpty() ? QStringLiteral("the system's authorities")
                                                     : m_settings.caFile,
                        m_settings.host);
    else if (m_tlsError.contains(QLatin1String("eof")) || m_tlsError.contains(QLatin1String("wrong version")))
        text += QStringLiteral(" (does the broker take TLS on port %1?)").arg(m_settings.port);
    return text;
}

void MqttLink::onLog(mosquitto *, void *self, int level, const char *text)
{
    // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed": the first
    // one is the cause, the reason after the code's last colon the readable part.
    if (!(level & MOSQ_LOG_ERR) || !text)
        return;
    auto *link = static_cast<MqttLink *>(self);
    const QString line = QString::fromUtf8(text);
    if (!line.startsWith(QLatin1String("OpenSSL Error")) || !link->m_tlsError.isEmpty())
        return;
    link->m_tlsError = line.section(QLatin1Char(':'), -1).trimmed();
}

void MqttLink::onReadable()
{
    if (!m_client)
        return;
    const int rc = mosquitto_loop_read(m_client, 1);
    if (rc == MOSQ_ERR_SUCCESS && m_state == State::Connecting) {
        // While TLS is being set up libmosquitto takes a refused or closed connection for one
        // still being made, and the socket stays readable: without this look it would be read
        // again and again until the connect timeout.
        const QString failure = socketFailure();
        if (!failure.isEmpty()) {
            lost(failure);
            return;
        }
    }
    afterCall(rc);
}

QString MqttLink::socketFailure() const
{
    const int fd = m_client ? mosquitto_socket(m_client) : -1;
    if (fd < 0)
        return QString();
    char byte = 0;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)))
        return QString();
    const QString tlsHint = m_settings.caFile.isEmpty() && !m_settings.tls
        ? QString()
        : QStringLiteral(" (does the broker take TLS on port %1?)").arg(m_settings.port);
    const int error = n < 0 ? errno : 0;
    if (!wasEstablished(fd))
        return QString::fromLocal8Bit(strerror(ECONNREFUSED));
    if (n == 0 || error == ECONNRESET || error == ENOTCONN)
        return QStringLiteral("the broker closed the connection") + tlsHint;
    return QString::fromLocal8Bit(strerror(error));
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

void MqttLink::onSubscribe(mosquitto *, void *self, int, int, const int *)
{
    emit static_cast<MqttLink *>(self)->subscribed();
}

void MqttLink::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    emit static_cast<MqttLink *>(self)->messageReceived(QString::fromUtf8(message->topic), payload);
}

void MqttLink::subscribe(const QString &pattern)
{
    if (m_state != State::Connected || !m_client)
        return;
    const QByteArray p = pattern.toUtf8();
    afterCall(mosquitto_subscribe(m_client, nullptr, p.constData(), kQos));
}

void MqttLink::unsubscribe(const QString &pattern)
{
    if (m_state != State::Connected || !m_client)
        return;
    const QByteArray p = pattern.toUtf8();
    afterCall(mosquitto_unsubscribe(m_client, nullptr, p.constData()));
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
