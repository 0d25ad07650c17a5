#pragma once

#include "BasicAuth.h"
#include "MetricsGuard.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QSslConfiguration>
#include <functional>
#include <memory>

class QHttpServer;

// Serves the text a provider renders at each scrape: GET /metrics with the text, HEAD /metrics
// with its headers only, / with a line pointing at /metrics; other methods on them are
// answered 405, every other path 404. The connections pass a MetricsGuard first (request head
// size, idle time, number at once). With users to admit every path asks for basic
// authentication (401 without a good name and password); with TLS every connection is
// encrypted.
class MetricsServer : public QObject
{
    Q_OBJECT
public:
    using Provider = std::function<QByteArray()>;

    struct Access
    {
        std::optional<QSslConfiguration> tls;
        QMap<QString, QByteArray> users; // name -> bcrypt hash; none: no authentication
    };

    explicit MetricsServer(Provider provider, const MetricsGuard::Limits &limits = {},
        Access access = {}, QObject *parent = nullptr);
    ~MetricsServer() override;

    // false when the address cannot be bound (in use, no such address, no rights).
    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return m_port; }
    int openConnections() const;

private:
    Provider m_provider;
    std::unique_ptr<QHttpServer> m_server;
    MetricsGuard *m_guard = nullptr; // owned by m_server once bound
    MetricsGuard::Limits m_limits;
    std::optional<QSslConfiguration> m_tls;
    BasicAuth m_auth;
    quint16 m_port = 0;
};
