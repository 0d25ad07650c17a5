#include "MetricsServer.h"

#include <QCoreApplication>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QLoggingCategory>

namespace {

QLoggingCategory::CategoryFilter g_previousFilter = nullptr;

void withoutTlsWarnings(QLoggingCategory *category)
{
    if (g_previousFilter)
        g_previousFilter(category);
    if (qstrcmp(category->categoryName(), "qt.network.ssl") == 0)
        category->setEnabled(QtWarningMsg, false);
}

QHttpServer *makeServer()
{
    // The server's parts set up Qt's TLS support on the way, which loads every TLS plugin and
    // initialises OpenSSL for it: megabytes for plain HTTP. Nothing in this process needs a
    // Qt plugin (the broker's TLS is libmosquitto's own), so none are looked for, and Qt's
    // complaint that it found no TLS is kept out of the log.
    QCoreApplication::setLibraryPaths({});
    g_previousFilter = QLoggingCategory::installFilter(withoutTlsWarnings);
    auto *server = new QHttpServer;
    QLoggingCategory::installFilter(g_previousFilter);
    return server;
}

} // namespace

MetricsServer::MetricsServer(Provider provider, QObject *parent)
    : QObject(parent)
    , m_provider(std::move(provider))
    , m_server(makeServer())
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
