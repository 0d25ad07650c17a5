#include "MetricsServer.h"

#include <QCoreApplication>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
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

QHttpServer *makeServer(bool tls)
{
    // The server's parts set up Qt's TLS support on the way, which loads every TLS plugin and
    // initialises OpenSSL for it: megabytes for plain HTTP. Nothing in this process needs a
    // Qt plugin (the broker's TLS is libmosquitto's own), so none are looked for, and Qt's
    // complaint that it found no TLS is kept out of the log. Serving TLS needs the plugin.
    if (!tls)
        QCoreApplication::setLibraryPaths({});
    g_previousFilter = QLoggingCategory::installFilter(withoutTlsWarnings);
    auto *server = new QHttpServer;
    QLoggingCategory::installFilter(g_previousFilter);
    return server;
}

// GET and HEAD with the right name and password pass; anything else is answered here: 401
// without them, 405 for another method.
bool allowed(const QHttpServerRequest &request, QHttpServerResponder &responder, BasicAuth &auth)
{
    if (!auth.admits(request.value(QByteArrayLiteral("Authorization")))) {
        const QByteArray body = QByteArrayLiteral("Unauthorized\n");
        responder.writeStatusLine(QHttpServerResponder::StatusCode::Unauthorized);
        responder.writeHeader(QByteArrayLiteral("WWW-Authenticate"),
            QByteArrayLiteral("Basic realm=\"tarvik metrics\", charset=\"UTF-8\""));
        responder.writeHeader(
            QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/plain; charset=utf-8"));
        responder.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(body.size()));
        responder.writeBody(request.method() == QHttpServerRequest::Method::Head ? QByteArray() : body);
        return false;
    }
    const auto method = request.method();
    if (method == QHttpServerRequest::Method::Get || method == QHttpServerRequest::Method::Head)
        return true;
    const QByteArray body = QByteArrayLiteral("Only GET and HEAD are served here\n");
    responder.writeStatusLine(QHttpServerResponder::StatusCode::MethodNotAllowed);
    responder.writeHeader(QByteArrayLiteral("Allow"), QByteArrayLiteral("GET, HEAD"));
    responder.writeHeader(
        QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/plain; charset=utf-8"));
    responder.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(body.size()));
    responder.writeBody(body);
    return false;
}

} // namespace

MetricsServer::MetricsServer(
    Provider provider, const MetricsGuard::Limits &limits, Access access, QObject *parent)
    : QObject(parent)
    , m_provider(std::move(provider))
    , m_server(makeServer(access.tls.has_value()))
    , m_limits(limits)
    , m_tls(std::move(access.tls))
    , m_auth(std::move(access.users))
{
    m_server->route(QStringLiteral("/metrics"),
        [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
            if (!allowed(request, responder, m_auth))
                return;
            const QByteArray body = m_provider();
            responder.writeStatusLine();
            responder.writeHeader(QByteArrayLiteral("Content-Type"),
                QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8"));
            responder.writeHeader(
                QByteArrayLiteral("Content-Length"), QByteArray::number(body.size()));
            // A HEAD answer ends after its headers: a body would be read as the next answer by
            // a client that keeps the connection.
            responder.writeBody(
                request.method() == QHttpServerRequest::Method::Head ? QByteArray() : body);
        });
    m_server->route(QStringLiteral("/"),
        [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
            if (!allowed(request, responder, m_auth))
                return;
            const QByteArray body = QByteArrayLiteral("The gateway's metrics are at /metrics\n");
            responder.writeStatusLine();
            responder.writeHeader(
                QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/plain; charset=utf-8"));
            responder.writeHeader(
                QByteArrayLiteral("Content-Length"), QByteArray::number(body.size()));
            responder.writeBody(
                request.method() == QHttpServerRequest::Method::Head ? QByteArray() : body);
        });
}

MetricsServer::~MetricsServer() = default;

bool MetricsServer::listen(const QHostAddress &address, quint16 port)
{
    auto guard = std::make_unique<MetricsGuard>(m_limits);
    if (m_tls)
        guard->setTls(*m_tls);
    if (!guard->listen(address, port))
        return false;
    m_guard = guard.release();
    m_guard->setReader(m_server.get());
    m_server->bind(m_guard); // the server takes it as its child
    m_port = m_guard->serverPort();
    return true;
}

int MetricsServer::openConnections() const
{
    return m_guard ? m_guard->openConnections() : 0;
}
