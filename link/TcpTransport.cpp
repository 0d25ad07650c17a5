#include "TcpTransport.h"

#include "LinkLog.h"
#include "PortLimits.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

namespace {

// Looks the host up on a thread of its own, so that the wait ends at the deadline: the system's
// resolver knows no deadline of ours. A lookup still running then finishes unseen.
std::optional<QHostInfo> lookUp(const QString &host, int timeoutMs)
{
    auto promise = std::make_shared<std::promise<QHostInfo>>();
    std::future<QHostInfo> result = promise->get_future();
    std::thread([promise, host] { promise->set_value(QHostInfo::fromName(host)); }).detach();
    if (result.wait_for(std::chrono::milliseconds(qMax(timeoutMs, 0))) != std::future_status::ready)
        return std::nullopt;
    return result.get();
}

QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 3);
}

} // namespace

TcpTransport::TcpTransport(QObject *parent)
    : SerialTransport(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &TcpTransport::onReadyRead);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &TcpTransport::onError);
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        if (m_open)
            lost(QStringLiteral("Connection closed by %1").arg(peer()));
    });
}

TcpTransport::~TcpTransport()
{
    m_open = false;
    m_socket.abort();
}

SerialTransport::OpenResult TcpTransport::open(const QString &portName)
{
    close();
    m_lastError.clear();
    QString why;
    const auto address = NetworkAddress::parse(portName, &why);
    if (!address || address->protocol != protocol()) {
        m_lastError = address
            ? QStringLiteral("%1 is not an address of this transport").arg(portName)
            : why;
        return OpenResult::Failed;
    }
    m_address = *address;

    QElapsedTimer clock;
    clock.start();
    QList<QHostAddress> addresses;
    if (QHostAddress literal; literal.setAddress(m_address.host)) {
        addresses.append(literal);
    } else {
        const auto info = lookUp(m_address.host, ConnectTimeoutMs);
        if (!info) {
            m_lastError = QStringLiteral("Host %1 not found within %2 s")
                              .arg(m_address.host, seconds(ConnectTimeoutMs));
            return OpenResult::NotFound;
        }
        addresses = info->addresses();
        if (info->error() != QHostInfo::NoError || addresses.isEmpty()) {
            m_lastError = QStringLiteral("Host %1 not found").arg(m_address.host);
            return OpenResult::NotFound;
        }
    }
    return connectTo(addresses, ConnectTimeoutMs - int(clock.elapsed()));
}

SerialTransport::OpenResult TcpTransport::connectTo(
    const QList<QHostAddress> &addresses, int timeLeftMs)
{
    QElapsedTimer clock;
    clock.start();
    OpenResult result = OpenResult::NotFound;
    m_lastError
        = QStringLiteral("No connection to %1 within %2 s").arg(peer(), seconds(ConnectTimeoutMs));
    // A name may stand for several addresses (IPv6 and IPv4): each is tried in the time left.
    for (const QHostAddress &address : addresses) {
        const int left = timeLeftMs - int(clock.elapsed());
        if (left <= 0)
            break;
        m_socket.connectToHost(address, m_address.port);
        if (m_socket.waitForConnected(left)) {
            // Requests are small and wait for their answers: each must leave at once.
            m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            m_socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
            m_input.clear();
            connectionStarts();
            m_open = true;
            qCDebug(lcLink).noquote()
                << "connected to" << m_address.name() << "at" << address.toString();
            return OpenResult::Ok;
        }
        switch (m_socket.error()) {
        case QAbstractSocket::ConnectionRefusedError:
            m_lastError = QStringLiteral("Connection refused by %1").arg(peer());
            result = OpenResult::NotFound;
            break;
        case QAbstractSocket::SocketTimeoutError:
            m_lastError = QStringLiteral("No connection to %1 within %2 s")
                              .arg(peer(), seconds(ConnectTimeoutMs));
            result = OpenResult::NotFound;
            break;
        case QAbstractSocket::SocketAccessError:
            m_lastError = QStringLiteral("Not allowed to connect to %1: %2")
                              .arg(peer(), m_socket.errorString());
            result = OpenResult::NoAccess;
            break;
        case QAbstractSocket::HostNotFoundError:
        case QAbstractSocket::NetworkError:
            m_lastError = QStringLiteral("%1: %2").arg(peer(), m_socket.errorString());
            result = OpenResult::NotFound;
            break;
        default:
            m_lastError = QStringLiteral("%1: %2").arg(peer(), m_socket.errorString());
            result = OpenResult::Failed;
            break;
        }
        m_socket.abort();
    }
    return result;
}

void TcpTransport::close()
{
    m_open = false;
    m_socket.abort();
    m_input.clear();
}

bool TcpTransport::isOpen() const
{
    return m_open;
}

bool TcpTransport::applySettings(const LineSettings &)
{
    return true;
}

qint64 TcpTransport::bytesWaiting() const
{
    return m_open ? m_input.size() : 0;
}

qint64 TcpTransport::read(char *data, qint64 maxCount)
{
    const qint64 n = qMin<qint64>(maxCount, m_input.size());
    if (n <= 0)
        return 0;
    memcpy(data, m_input.constData(), size_t(n));
    m_input.remove(0, n);
    return n;
}

qint64 TcpTransport::write(const char *data, qint64 count)
{
    if (!m_open)
        return -1;
    const QByteArray wire = outgoing(QByteArray(data, count));
    if (wire.isEmpty())
        return count;
    if (m_socket.write(wire) != wire.size())
        return -1;
    // Out now, not when the event loop next finds the socket writable.
    m_socket.flush();
    return count;
}

qint64 TcpTransport::bytesPendingWrite() const
{
    return m_open ? m_socket.bytesToWrite() : 0;
}

void TcpTransport::purgeReceive()
{
    if (!m_open)
        return;
    // What the socket holds goes through the framing, which must see every byte to keep
    // track of where frames begin; none of it is read.
    incoming(m_socket.readAll());
    m_input.clear();
}

void TcpTransport::purgeTransmit()
{
    // Bytes handed to the socket are on their way; there is nothing to take back.
}

QString TcpTransport::lastErrorText() const
{
    return m_lastError;
}

bool TcpTransport::lowDelay()
{
    return m_open && m_socket.socketOption(QAbstractSocket::LowDelayOption).toInt() == 1;
}

void TcpTransport::onReadyRead()
{
    if (!m_open)
        return;
    const QByteArray bytes = incoming(m_socket.readAll());
    if (bytes.isEmpty())
        return;
    m_input.append(bytes);
    // A peer that never stops sending must not grow the buffer: the newest bytes stay, as much
    // as the serial port's input queue holds.
    if (m_input.size() > kInBufSize)
        m_input.remove(0, m_input.size() - kInBufSize);
    emit dataArrived();
}

void TcpTransport::onError(QAbstractSocket::SocketError error)
{
    if (!m_open || error == QAbstractSocket::SocketTimeoutError
        || error == QAbstractSocket::TemporaryError)
        return;
    if (error == QAbstractSocket::RemoteHostClosedError)
        lost(QStringLiteral("Connection closed by %1").arg(peer()));
    else
        lost(QStringLiteral("Connection to %1 lost: %2").arg(peer(), m_socket.errorString()));
}

void TcpTransport::lost(const QString &reason)
{
    m_open = false;
    m_lastError = reason;
    m_input.clear();
    qCWarning(lcLink).noquote() << "connection lost:" << m_address.name() << reason;
    m_socket.abort();
    emit deviceLost(reason);
}
