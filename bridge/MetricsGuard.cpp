#include "MetricsGuard.h"

#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <memory>
#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace {

const QByteArray kTooLarge = QByteArrayLiteral(
    "HTTP/1.1 431 Request Header Fields Too Large\r\n"
    "Content-Type: text/plain\r\nContent-Length: 30\r\nConnection: close\r\n\r\n"
    "Request header is too large.\r\n");

// Follows a connection's bytes: how long the request head under way is, and where it ends
// (the blank line, CR LF CR LF or a bare LF LF, as lenient parsers take it).
class HeadScanner
{
public:
    // Takes the next bytes; false as soon as a head grows beyond the limit. headsEnded
    // counts the heads that ended in them.
    bool take(const QByteArray &bytes, int limit, int &headsEnded)
    {
        for (const char c : bytes) {
            if (++m_length > limit)
                return false;
            if (c == '\n') {
                if (m_lineEmpty) {
                    ++headsEnded;
                    m_length = 0;
                }
                m_lineEmpty = true;
            } else if (c != '\r') {
                m_lineEmpty = false;
            }
        }
        return true;
    }

private:
    int m_length = 0;
    bool m_lineEmpty = false; // nothing but CR since the last LF
};

constexpr qint64 kReadBufferBytes = 64 * 1024;

// How long a rejected connection is read (and its bytes dropped) after the answer.
constexpr int kLingerMs = 2000;

void discardInput(QTcpSocket *socket)
{
    // The HTTP server reads inside a transaction, which would keep every byte.
    if (socket->isTransactionStarted())
        socket->commitTransaction();
    socket->skip(socket->bytesAvailable());
}

} // namespace

MetricsGuard::MetricsGuard(const Limits &limits, QObject *parent)
    : QTcpServer(parent)
    , m_limits(limits)
{
}

void MetricsGuard::incomingConnection(qintptr descriptor)
{
    QTcpSocket *socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_open >= m_limits.connections) {
        // Refused: closed before a byte is read, so a flood of connections holds no more
        // than the limit's worth of open files.
        socket->abort();
        delete socket;
        return;
    }
    ++m_open;
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });
    // What a client sends is taken from the system in small steps: a flood waits in the
    // system's buffers for the steps before it to be dropped, not in this process' memory.
    socket->setReadBufferSize(kReadBufferBytes);
    watch(socket);
    if (auto *tls = qobject_cast<QSslSocket *>(socket)) {
        // A failed handshake (a plain HTTP client, an unknown client certificate) ends the
        // connection; the HTTP server sees only what comes after a good one.
        tls->setSslConfiguration(*m_tls);
        connect(tls, &QSslSocket::sslErrors, tls, [tls] { tls->abort(); });
        connect(tls, &QAbstractSocket::errorOccurred, tls, [tls] { tls->abort(); });
        tls->startServerEncryption();
    }
    addPendingConnection(socket);
}

void MetricsGuard::watch(QTcpSocket *socket)
{
    auto *idle = new QTimer(socket);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
    idle->start(m_limits.idleMs);

    // Connected before the HTTP server's own handler, so this one sees the bytes first.
    auto scanner = std::make_shared<HeadScanner>();
    auto rejected = std::make_shared<bool>(false);
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket, idle, scanner, rejected] {
        if (*rejected) {
            discardInput(socket);
            return;
        }
        int headsEnded = 0;
        if (scanner->take(socket->peek(socket->bytesAvailable()), m_limits.headBytes, headsEnded)) {
            if (headsEnded > 0)
                idle->start(m_limits.idleMs);
            return;
        }
        *rejected = true;
        // The HTTP server is not to see this request: its handler is taken off the socket (a
        // handler taken off during the signal is not called). The answer goes out, then the
        // sending side is shut and what the peer still sends is read and dropped until it
        // closes, so that the answer is not lost to a reset; the idle time ends the wait.
        if (m_reader)
            disconnect(socket, &QTcpSocket::readyRead, m_reader, nullptr);
        discardInput(socket);
        socket->write(kTooLarge);
        // A TLS connection cannot shut its sending side alone (a client takes an end without
        // TLS' close notice for a cut connection and drops the answer), and closing it while
        // the client still sends would lose the answer to a reset: it stays open, reading and
        // dropping, until the client closes or the wait ends.
        if (!qobject_cast<QSslSocket *>(socket)) {
            connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
                if (socket->bytesToWrite() != 0)
                    return;
#ifdef Q_OS_UNIX
                ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
#else
                socket->disconnectFromHost();
#endif
            });
        }
        connect(socket, &QTcpSocket::disconnected, socket, [socket] { socket->abort(); });
        idle->start(qMin(m_limits.idleMs, kLingerMs));
    });
}
