// The metrics endpoint against clients that misbehave, on loopback and in bytes as they go over
// the wire: what each method and path is answered (a HEAD answer without a body, so a kept
// connection stays in step), an endless request head answered 431 and closed without the
// endpoint holding its bytes, idle and slow connections closed, connections beyond the limit
// refused, and /metrics answering again once they are gone. With a web configuration file:
// what the file may say, TLS only, and basic authentication against bcrypt hashes.
#include "MetricsServer.h"
#include "WebConfig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <crypt.h>
#include <memory>
#include <vector>

namespace {

const QByteArray kBody = QByteArrayLiteral("tarvik_link_up{gateway=\"gw\"} 1\n");

// The process's peak resident size so far, in bytes.
qint64 peakRss()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

std::unique_ptr<QTcpSocket> connectTo(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    socket->waitForConnected(2000);
    return socket;
}

// Sends the request and waits for one whole answer (its head and Content-Length bytes);
// returns the bytes that came, the answer first.
QByteArray exchange(QTcpSocket &socket, const QByteArray &request, int ms = 3000)
{
    socket.write(request);
    QByteArray in;
    const auto whole = [&] {
        in += socket.readAll();
        const int end = in.indexOf("\r\n\r\n");
        if (end < 0)
            return socket.state() != QAbstractSocket::ConnectedState;
        const int at = in.toLower().indexOf("content-length:");
        const int length
            = at < 0 ? 0 : in.mid(at + 15, in.indexOf("\r\n", at) - at - 15).trimmed().toInt();
        return in.size() >= end + 4 + length || socket.state() != QAbstractSocket::ConnectedState;
    };
    (void)QTest::qWaitFor(whole, ms);
    // Anything more that comes soon after would be an answer too many.
    QTest::qWait(50);
    return in + socket.readAll();
}

QByteArray get(quint16 port, const QByteArray &path = "/metrics")
{
    const auto socket = connectTo(port);
    return exchange(*socket, "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n");
}

// A bcrypt hash of password at the lowest cost, so that tests do not wait for it.
QByteArray bcrypt(const QByteArray &password)
{
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn("$2b$", 4, nullptr, 0, salt, sizeof salt))
        return {};
    auto data = std::make_unique<crypt_data>();
    const char *hash = crypt_rn(password.constData(), salt, data.get(), sizeof(crypt_data));
    return hash ? QByteArray(hash) : QByteArray();
}

QByteArray basic(const QByteArray &user, const QByteArray &password)
{
    return "Authorization: Basic " + (user + ':' + password).toBase64() + "\r\n";
}

} // namespace

class tst_MetricsServer : public QObject
{
    Q_OBJECT

    std::unique_ptr<MetricsServer> start(const MetricsGuard::Limits &limits = {})
    {
        auto server = std::make_unique<MetricsServer>([] { return kBody; }, limits);
        if (!server->listen(QHostAddress::LocalHost, 0))
            return nullptr;
        return server;
    }

private slots:
    void methodsAndPathsAreAnsweredAsServed_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("GET /metrics")
            << QByteArray("GET /metrics") << QByteArray("HTTP/1.1 200 OK") << kBody;
        QTest::newRow("GET /") << QByteArray("GET /") << QByteArray("HTTP/1.1 200 OK")
                               << QByteArray("The gateway's metrics are at /metrics\n");
        QTest::newRow("POST /metrics")
            << QByteArray("POST /metrics") << QByteArray("HTTP/1.1 405 Method Not Allowed")
            << QByteArray("Only GET and HEAD are served here\n");
        QTest::newRow("DELETE /metrics")
            << QByteArray("DELETE /metrics") << QByteArray("HTTP/1.1 405 Method Not Allowed")
            << QByteArray("Only GET and HEAD are served here\n");
        QTest::newRow("PUT /") << QByteArray("PUT /")
                               << QByteArray("HTTP/1.1 405 Method Not Allowed")
                               << QByteArray("Only GET and HEAD are served here\n");
        QTest::newRow("GET /other")
            << QByteArray("GET /other") << QByteArray("HTTP/1.1 404 Not Found") << QByteArray();
        QTest::newRow("GET /metrics/x")
            << QByteArray("GET /metrics/x") << QByteArray("HTTP/1.1 404 Not Found") << QByteArray();
    }
    void methodsAndPathsAreAnsweredAsServed()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, statusLine);
        QFETCH(QByteArray, body);
        const auto server = start();
        QVERIFY(server);
        const auto socket = connectTo(server->port());
        const QByteArray answer
            = exchange(*socket, request + " HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n");
        QVERIFY2(answer.startsWith(statusLine + "\r\n"), answer.constData());
        const int end = answer.indexOf("\r\n\r\n");
        if (statusLine.contains("404"))
            return;
        QCOMPARE(answer.mid(end + 4), body);
        if (statusLine.contains("405"))
            QVERIFY(answer.contains("\r\nAllow: GET, HEAD\r\n"));
    }

    void headAnswersHeadersOnlyAndTheConnectionStaysInStep()
    {
        const auto server = start();
        QVERIFY(server);
        const auto socket = connectTo(server->port());
        const QByteArray head = exchange(*socket, "HEAD /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY2(head.startsWith("HTTP/1.1 200 OK\r\n"), head.constData());
        QVERIFY(head.contains("Content-Length: " + QByteArray::number(kBody.size()) + "\r\n"));
        QVERIFY2(head.endsWith("\r\n\r\n"), head.constData()); // nothing after the headers
        // The next answer on the same connection is the GET's own, whole.
        const QByteArray next = exchange(*socket, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY2(next.startsWith("HTTP/1.1 200 OK\r\n"), next.constData());
        QVERIFY(next.endsWith("\r\n\r\n" + kBody));
    }

    // 16 MB of one header line, sent as fast as the endpoint takes it: 431 once the head passes
    // 16 KiB, the connection closed, the bytes not kept, and /metrics answering meanwhile.
    void endlessRequestHeadIsAnswered431AndClosedWithoutBeingKept()
    {
        const auto server = start();
        QVERIFY(server);
        QCOMPARE(get(server->port()).mid(0, 15), QByteArray("HTTP/1.1 200 OK"));
        const qint64 before = peakRss();

        const auto socket = connectTo(server->port());
        socket->write("GET /metrics HTTP/1.1\r\nHost: x\r\nX-Long: ");
        const QByteArray chunk(64 * 1024, 'a');
        QByteArray in;
        qint64 sent = 0;
        (void)QTest::qWaitFor(
            [&] {
                in += socket->readAll();
                if (socket->state() != QAbstractSocket::ConnectedState)
                    return true;
                if (socket->bytesToWrite() < chunk.size() && sent < 16 * 1024 * 1024) {
                    socket->write(chunk);
                    sent += chunk.size();
                }
                return false;
            },
            10000);
        in += socket->readAll();
        QVERIFY2(in.startsWith("HTTP/1.1 431 "), in.left(100).constData());
        QVERIFY(in.contains("Connection: close\r\n"));
        QVERIFY(QTest::qWaitFor(
            [&] { return socket->state() == QAbstractSocket::UnconnectedState; }, 5000));
        QVERIFY2(peakRss() - before < 5 * 1024 * 1024,
            qPrintable(QStringLiteral("peak RSS grew by %1 bytes").arg(peakRss() - before)));
        QCOMPARE(get(server->port()).mid(0, 15), QByteArray("HTTP/1.1 200 OK"));
        // A head just under the limit is still served.
        const QByteArray fits
            = "GET /metrics HTTP/1.1\r\nX-Fill: " + QByteArray(16 * 1024 - 60, 'b') + "\r\n\r\n";
        QVERIFY(fits.size() <= 16 * 1024);
        const auto near = connectTo(server->port());
        QVERIFY(exchange(*near, fits).startsWith("HTTP/1.1 200 OK\r\n"));
    }

    // With the idle time at 400 ms: a connection that says nothing and one that sends its
    // request a byte every 50 ms are both closed; one that asks in time is answered, and kept
    // open for the next request.
    void idleAndSlowConnectionsAreClosed()
    {
        MetricsGuard::Limits limits;
        limits.idleMs = 400;
        const auto server = start(limits);
        QVERIFY(server);
        const auto idle = connectTo(server->port());
        const auto slow = connectTo(server->port());
        const auto prompt = connectTo(server->port());
        QVERIFY(QTest::qWaitFor([&] { return server->openConnections() == 3; }, 2000));
        const QByteArray request
            = "GET /metrics HTTP/1.1\r\nHost: x\r\nX-Pad: " + QByteArray(40, 'p') + "\r\n\r\n";
        int at = 0;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(QTest::qWaitFor(
            [&] {
                if (slow->state() == QAbstractSocket::ConnectedState && at < request.size()
                    && clock.elapsed() > at * 50)
                    slow->write(request.mid(at++, 1));
                return idle->state() == QAbstractSocket::UnconnectedState
                    && slow->state() == QAbstractSocket::UnconnectedState;
            },
            3000));
        QVERIFY(at < request.size()); // closed before its head was whole
        QVERIFY(exchange(*prompt, request).isEmpty()); // the prompt one was idle too
        const auto again = connectTo(server->port());
        QVERIFY(exchange(*again, request).startsWith("HTTP/1.1 200 OK\r\n"));
        QTest::qWait(250);
        QVERIFY(exchange(*again, request).startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(QTest::qWaitFor([&] { return server->openConnections() == 0; }, 3000));
    }

    // 200 connections at once: 64 are kept, the rest closed at once; when those 64 go,
    // /metrics answers again.
    void connectionsBeyondTheLimitAreRefused()
    {
        const auto server = start();
        QVERIFY(server);
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        // In batches, so that the listen queue does not overflow and leave clients waiting
        // for the kernel's next try.
        for (int batch = 0; batch < 8; ++batch) {
            for (int i = 0; i < 25; ++i) {
                clients.push_back(std::make_unique<QTcpSocket>());
                clients.back()->connectToHost(QHostAddress::LocalHost, server->port());
            }
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return std::none_of(clients.begin(), clients.end(), [](const auto &c) {
                        return c->state() == QAbstractSocket::ConnectingState
                            || c->state() == QAbstractSocket::HostLookupState;
                    });
                },
                5000));
        }
        const auto closed = [&] {
            return std::count_if(clients.begin(), clients.end(),
                [](const auto &c) { return c->state() == QAbstractSocket::UnconnectedState; });
        };
        QVERIFY2(QTest::qWaitFor([&] { return closed() == 136; }, 5000),
            qPrintable(QString::number(closed())));
        QCOMPARE(server->openConnections(), 64);
        QTest::qWait(100);
        QCOMPARE(closed(), 136);
        clients.clear();
        QVERIFY(QTest::qWaitFor([&] { return server->openConnections() == 0; }, 3000));
        QCOMPARE(get(server->port()).mid(0, 15), QByteArray("HTTP/1.1 200 OK"));
    }

    void webConfigIsTakenOrRefusedWithItsLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error"); // empty: taken
        const QByteArray hash = "$2y$10$012345678901234567890u9H5JUZk5UJiu7LVlfrgx0JP2PkblN0e";
        QTest::newRow("empty") << QByteArray("\n") << QString();
        QTest::newRow("all, quoted, commented")
            << QByteArray("# metrics\ntls_server_config:\n  cert_file: \"c.pem\"\n"
                          "  key_file: 'k.pem'  # the key\n  client_ca_file: c.pem\n"
                          "  client_auth_type: RequireAndVerifyClientCert\n  min_version: TLS13\n"
                          "basic_auth_users:\n  prom: " + hash + "\n")
            << QString();
        QTest::newRow("unknown section") << QByteArray("http_server_config:\n  http2: true\n")
                                         << QStringLiteral("line 1: \"http_server_config\" is not");
        QTest::newRow("unknown TLS setting")
            << QByteArray("tls_server_config:\n  cert_file: c.pem\n  cipher_suites: x\n")
            << QStringLiteral("line 3: \"cipher_suites\" is not a TLS setting");
        QTest::newRow("tab") << QByteArray("basic_auth_users:\n\tprom: " + hash + "\n")
                             << QStringLiteral("line 2: a tab in the indentation");
        QTest::newRow("password in clear")
            << QByteArray("basic_auth_users:\n  prom: secret\n")
            << QStringLiteral("line 2: the password of prom is to be a bcrypt hash");
        QTest::newRow("no key") << QByteArray("tls_server_config:\n  cert_file: c.pem\n")
                                << QStringLiteral("tls_server_config needs cert_file and key_file");
        QTest::newRow("missing file")
            << QByteArray("tls_server_config:\n  cert_file: c.pem\n  key_file: none.pem\n")
            << QStringLiteral("key_file: ") + QStringLiteral("%1/none.pem does not exist");
        QTest::newRow("verify without authorities")
            << QByteArray("tls_server_config:\n  cert_file: c.pem\n  key_file: k.pem\n"
                          "  client_auth_type: RequireAndVerifyClientCert\n")
            << QStringLiteral("needs client_ca_file");
        QTest::newRow("old TLS") << QByteArray("tls_server_config:\n  min_version: TLS10\n")
                                 << QStringLiteral("line 2: min_version is TLS12 or TLS13");
        QTest::newRow("twice") << QByteArray("basic_auth_users:\n  a: " + hash + "\n  a: " + hash
                                             + "\n")
                               << QStringLiteral("line 3: a a second time");
        QTest::newRow("indented under nothing") << QByteArray("  cert_file: c.pem\n")
                                                << QStringLiteral("line 1: \"cert_file\" is indented");
    }
    void webConfigIsTakenOrRefusedWithItsLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QTemporaryDir folder;
        for (const char *name : {"c.pem", "k.pem"}) {
            QFile file(folder.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QString said;
        const auto config = WebConfig::parse(text, folder.path(), said);
        if (error.isEmpty()) {
            QVERIFY2(config, qPrintable(said));
            if (text.contains("cert_file")) {
                QCOMPARE(config->certFile, folder.filePath(QStringLiteral("c.pem")));
                QVERIFY(config->requireClientCert && config->tls13Only);
                QCOMPARE(config->users.keys(), QStringList{"prom"});
            } else {
                QVERIFY(!config->tls() && config->users.isEmpty());
            }
            return;
        }
        QVERIFY(!config);
        if (error.contains(QLatin1String("%1")))
            error = error.arg(folder.path());
        QVERIFY2(said.contains(error), qPrintable(said));
    }

    // A certificate made here with openssl: the endpoint answers over TLS, and a client that
    // speaks plain HTTP to it gets no answer and is closed.
    void tlsIsTheOnlyWayIn()
    {
        // A plain endpoint made before keeps Qt from looking for plugins; TLS needs its own.
        QCoreApplication::setLibraryPaths({QLibraryInfo::path(QLibraryInfo::PluginsPath)});
        QTemporaryDir folder;
        QProcess openssl;
        openssl.setWorkingDirectory(folder.path());
        openssl.start(QStringLiteral("openssl"),
            {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-keyout", "k.pem", "-out", "c.pem", "-days", "2", "-subj", "/CN=localhost"});
        QVERIFY(openssl.waitForFinished(20000) && openssl.exitCode() == 0);
        QFile file(folder.filePath(QStringLiteral("web.yml")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("tls_server_config:\n  cert_file: c.pem\n  key_file: k.pem\n");
        file.close();
        QString error;
        const auto config = WebConfig::load(file.fileName(), error);
        QVERIFY2(config, qPrintable(error));
        MetricsServer::Access access;
        access.tls.emplace();
        QVERIFY2(config->sslConfiguration(*access.tls, error), qPrintable(error));
        MetricsServer server([] { return kBody; }, {}, access);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));

        QSslSocket tls;
        QSslConfiguration trust = tls.sslConfiguration();
        trust.setCaCertificates(QSslCertificate::fromPath(folder.filePath(QStringLiteral("c.pem"))));
        tls.setSslConfiguration(trust);
        tls.connectToHostEncrypted(QStringLiteral("localhost"), server.port());
        QVERIFY2(QTest::qWaitFor([&] { return tls.isEncrypted(); }, 5000),
            qPrintable(tls.errorString()));
        const QByteArray answer = exchange(tls, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK\r\n"), answer.constData());
        QVERIFY(answer.endsWith(kBody));

        const auto plain = connectTo(server.port());
        QVERIFY(!exchange(*plain, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n").contains("HTTP/1.1"));
        QVERIFY(QTest::qWaitFor(
            [&] { return plain->state() == QAbstractSocket::UnconnectedState; }, 5000));
    }

    // Every path asks for the name and password; a pair that passed once is known again
    // without bcrypt, so a flood of guesses neither shuts out the scraper nor takes the time.
    void basicAuthAdmitsTheRightPairOnly()
    {
        MetricsServer::Access access;
        access.users.insert(QStringLiteral("prom"), bcrypt("s3cret:x"));
        MetricsServer server([] { return kBody; }, {}, access);
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const auto ask = [&](const QByteArray &method, const QByteArray &header) {
            const auto socket = connectTo(server.port());
            return exchange(*socket, method + " /metrics HTTP/1.1\r\nHost: x\r\n" + header + "\r\n");
        };
        const QByteArray none = ask("GET", {});
        QVERIFY2(none.startsWith("HTTP/1.1 401 Unauthorized\r\n"), none.constData());
        QVERIFY(none.contains("WWW-Authenticate: Basic realm=\"tarvik metrics\""));
        QVERIFY(ask("HEAD", {}).endsWith("\r\n\r\n"));
        QVERIFY(ask("GET", basic("prom", "s3cret")).startsWith("HTTP/1.1 401"));
        QVERIFY(ask("GET", basic("other", "s3cret:x")).startsWith("HTTP/1.1 401"));
        QVERIFY(ask("GET", "Authorization: Bearer abc\r\n").startsWith("HTTP/1.1 401"));
        const QByteArray right = ask("GET", basic("prom", "s3cret:x"));
        QVERIFY2(right.startsWith("HTTP/1.1 200 OK\r\n") && right.endsWith(kBody), right.constData());
        for (int i = 0; i < 3 * BasicAuth::ChecksPerSecond; ++i)
            QVERIFY(ask("GET", basic("prom", QByteArray::number(i))).startsWith("HTTP/1.1 401"));
        QVERIFY(ask("GET", basic("prom", "s3cret:x")).startsWith("HTTP/1.1 200 OK\r\n"));
    }

    // Beyond the checks a second allows, another pair is refused unchecked, even a right one.
    void guessesBeyondTheRateAreRefusedUnchecked()
    {
        BasicAuth auth({{QStringLiteral("prom"), bcrypt("pw")}});
        QElapsedTimer took;
        took.start();
        for (int i = 0; i < BasicAuth::ChecksPerSecond; ++i)
            QVERIFY(!auth.admits("Basic " + QByteArray("prom:wrong").toBase64()));
        const bool admitted = auth.admits("Basic " + QByteArray("prom:pw").toBase64());
        if (took.elapsed() > 900)
            QSKIP("the machine took most of a second for the guesses");
        QVERIFY(!admitted);
        QVERIFY(QTest::qWaitFor([&] { return took.elapsed() > 1000; }, 2000));
        QVERIFY(auth.admits("Basic " + QByteArray("prom:pw").toBase64()));
    }
};

QTEST_GUILESS_MAIN(tst_MetricsServer)
#include "tst_MetricsServer.moc"
