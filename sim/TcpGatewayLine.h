#pragma once

#include "GatewayLine.h"

#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// The gateway's end of a serial server in raw mode: the tool connects over TCP and RTU frames
// pass unchanged both ways. Several clients may be connected at once, as many serial servers
// allow: what any of them sends reaches the line, what the gateway sends goes to all of them,
// and is lost while none is connected. A client that disconnects leaves the server listening
// for the next. The line settings are the serial side's own, which match the gateway's.
class TcpGatewayLine final : public GatewayLine
{
    Q_OBJECT
public:
    explicit TcpGatewayLine(const LineSettings &settings, QObject *parent = nullptr);
    ~TcpGatewayLine() override;

    // Listens on address and port (0: a free port); false with the reason.
    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_server.serverPort(); }
    int clientCount() const { return int(m_clients.size()); }

    QByteArray readAll() override;
    void write(const QByteArray &bytes) override;
    // While held, what clients send waits in their sockets unannounced.
    void holdReading(bool hold) override { m_held = hold; }
    LineSettings toolSettings(bool *parityKnown) const override;
    // tcp://HOST:PORT, as the tool names a serial server.
    QString toolPortName() const override;

private:
    void onNewConnection();

    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_clients;
    LineSettings m_settings;
    bool m_held = false;
};
