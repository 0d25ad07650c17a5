#include "TcpGatewayLine.h"

#include "ListenAddress.h"
#include "SimLog.h"

#include <utility>

TcpGatewayLine::TcpGatewayLine(const LineSettings &settings, QObject *parent)
    : GatewayLine(parent)
    , m_settings(settings)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpGatewayLine::onNewConnection);
}

TcpGatewayLine::~TcpGatewayLine()
{
    // A socket closing as it goes would report its disconnection to a line half taken apart.
    for (const QPointer<QTcpSocket> &c : std::exchange(m_clients, {}))
        if (c) {
            c->disconnect(this);
            delete c.data();
        }
}

bool TcpGatewayLine::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_server.listen(address, port))
        return true;
    *error = QStringLiteral("cannot listen on %1: %2")
                 .arg(hostAndPort(address, port), m_server.errorString());
    return false;
}

void TcpGatewayLine::onNewConnection()
{
    while (QTcpSocket *client = m_server.nextPendingConnection()) {
        // A serial server passes bytes on as they come; no waiting to fill a segment.
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_clients.append(client);
        qCDebug(lcSim) << "client" << client->peerAddress().toString() << client->peerPort()
                       << "connected";
        connect(client, &QTcpSocket::readyRead, this, [this] {
            if (!m_held)
                emit readyRead();
        });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            qCDebug(lcSim) << "client disconnected";
            m_clients.removeAll(client);
            client->deleteLater();
        });
    }
}

QByteArray TcpGatewayLine::readAll()
{
    QByteArray bytes;
    for (const QPointer<QTcpSocket> &c : std::as_const(m_clients))
        if (c)
            bytes.append(c->readAll());
    return bytes;
}

void TcpGatewayLine::write(const QByteArray &bytes)
{
    for (const QPointer<QTcpSocket> &c : std::as_const(m_clients))
        if (c && c->state() == QAbstractSocket::ConnectedState)
            c->write(bytes);
}

LineSettings TcpGatewayLine::toolSettings(bool *parityKnown) const
{
    if (parityKnown)
        *parityKnown = true;
    return m_settings;
}

QString TcpGatewayLine::toolPortName() const
{
    return QStringLiteral("tcp://") + hostAndPort(m_server.serverAddress(), m_server.serverPort());
}
