#pragma once

#include <QSslConfiguration>
#include <QTcpServer>
#include <optional>

// The listening socket in front of the metrics endpoint's HTTP server. The HTTP server keeps
// every byte of a request until the request is whole and closes nothing on its own, so each
// connection is watched here before the server reads it: a request line and headers longer
// than the limit get 431 and the connection is closed, a connection that brings no whole
// request head for the idle time is closed, and beyond the connection limit new connections
// are closed at once. Only the bytes of a request head are looked at (peeked, not taken).
// With TLS each connection is encrypted here, and the server reads the plain requests; a
// client that does not finish its handshake within the idle time is closed like an idle one.
class MetricsGuard : public QTcpServer
{
    Q_OBJECT
public:
    struct Limits
    {
        int headBytes = 16 * 1024; // request line and headers, their blank line included
        int idleMs = 30000; // from the connection or the last whole request head
        int connections = 64; // open at once
    };

    explicit MetricsGuard(const Limits &limits, QObject *parent = nullptr);

    int openConnections() const { return m_open; }
    // The HTTP server reading the connections: a rejected request is taken away from it.
    void setReader(QObject *reader) { m_reader = reader; }
    // Connections accepted from now on speak TLS with this configuration.
    void setTls(const QSslConfiguration &tls) { m_tls = tls; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void watch(class QTcpSocket *socket);

    Limits m_limits;
    QObject *m_reader = nullptr;
    std::optional<QSslConfiguration> m_tls;
    int m_open = 0;
};
