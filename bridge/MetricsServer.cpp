#include "MetricsServer.h"

#include <QHttpServer>
#include <QHttpServerResponse>

MetricsServer::MetricsServer(Provider provider, QObject *parent)
    : QObject(parent)
    , m_provider(std::move(provider))
    , m_server(std::make_unique<QHttpServer>())
{
    m_server->route(QStringLiteral("/metrics"), [this] {
        return QHttpServerResponse(
            QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8"), m_provider());
    });
}

MetricsServer::~MetricsServer() = default;

bool MetricsServer::listen(const QHostAddress &address, quint16 port)
{
    m_port = m_server->listen(address, port);
    return m_port != 0;
}
