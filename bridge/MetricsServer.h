#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <functional>
#include <memory>

class QHttpServer;

// Serves GET /metrics over HTTP with the text a provider renders at each scrape; every other
// path is answered 404.
class MetricsServer : public QObject
{
    Q_OBJECT
public:
    using Provider = std::function<QByteArray()>;

    explicit MetricsServer(Provider provider, QObject *parent = nullptr);
    ~MetricsServer() override;

    // false when the address cannot be bound (in use, no such address, no rights).
    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return m_port; }

private:
    Provider m_provider;
    std::unique_ptr<QHttpServer> m_server;
    quint16 m_port = 0;
};
