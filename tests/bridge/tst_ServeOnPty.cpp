// tarvik-cli serve as a service runs it: the real process against the simulated gateway on a
// pseudo-terminal and a real mosquitto broker. What reaches the broker is what the gateway's
// registers hold; Home Assistant's entities follow the channels; /metrics is read by
// Prometheus' own parser; a broker restart, an unplugged port and SIGTERM are all ridden out.
#include "CliProcess.h"
#include "DescriptionFile.h"
#include "MosquittoBroker.h"
#include "RegisterMap.h"
#include "RomCode.h"
#include "SimOnPty.h"
#include "TestHelpers.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <csignal>

namespace {

// Under AddressSanitizer freed memory waits in quarantine, so the resident size grows anyway.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasuresMemory = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMeasuresMemory = false;
#else
constexpr bool kMeasuresMemory = true;
#endif
#else
constexpr bool kMeasuresMemory = true;
#endif

const QString kName = QStringLiteral("gw1");
const QString kBoiler = QStringLiteral("Boiler flow \"main\" \\ 1");

QString topic(const QString &rest)
{
    return QStringLiteral("tarvik/%1/%2").arg(kName, rest);
}

QJsonObject json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

bool writeDescriptions(const QString &path, const QMap<int, QString> &described)
{
    QList<TDescriptionRecord> records;
    for (int c = 1; c <= 40; ++c)
        records.append({uint8_t(c - 1), QString::number(c - 1), QString(), described.value(c)});
    QString error;
    return DescriptionFile::write(path, records, &error);
}

// A certificate authority no broker here uses: enough to turn TLS on.
const char *kAuthority =
    "-----BEGIN CERTIFICATE-----\n"
    "MIIBlzCCAT2gAwIBAgIUYATNtsjaESnR2lAdvFOQ2DI3HgEwCgYIKoZIzj0EAwIw\n"
    "IDEeMBwGA1UEAwwVdGFydmlrIHRlc3QgYXV0aG9yaXR5MCAXDTI2MTIwODE4MzQw\n"
    "OVoYDzIxMjYxMTE0MTgzNDA5WjAgMR4wHAYDVQQDDBV0YXJ2aWsgdGVzdCBhdXRo\n"
    "b3JpdHkwWTATBgcqhkjOPQIBBggqhkjOPQMBBwNCAASP1vNSdY2BM2UORM6O+4bo\n"
    "tAdkK6lXTHKIz9TPyvFT9OSJE+Qzq7tZ7nnkOFqNK2ZClneSYCDLvxSVSlVHd3ZI\n"
    "o1MwUTAdBgNVHQ4EFgQUdlGrcC411cPFOMVgr27NGuQ3myEwHwYDVR0jBBgwFoAU\n"
    "dlGrcC411cPFOMVgr27NGuQ3myEwDwYDVR0TAQH/BAUwAwEB/zAKBggqhkjOPQQD\n"
    "AgNIADBFAiEAu1fJKCbDRGjQKtVaF9hgYhxSHLCxXpPIvZmbjxBUzNoCIBt1ytnJ\n"
    "p5pqocGOctqn6XdQq/p4MDeeqmN+BDINDpM6\n"
    "-----END CERTIFICATE-----\n";

// Prometheus' text parser (python3-prometheus-client): one line per sample, "name channel
// description value", or a non-zero exit on text it does not accept.
const char *kParser = R"(
import sys
from prometheus_client.parser import text_string_to_metric_families
for family in text_string_to_metric_families(sys.stdin.read()):
    for s in family.samples:
        print(s.name, s.labels.get('channel', '-'), s.labels.get('description', '-'), s.value, sep='\t')
)";

} // namespace

class tst_ServeOnPty : public QObject
{
    Q_OBJECT

    SimOnPty m_sim;
    QString m_descriptions;
    MosquittoBroker m_broker;
    std::unique_ptr<BrokerProbe> m_probe;
    QProcess m_serve;
    int m_metricsPort = 0;
    // Connections the metrics endpoint kept from the storm, held through the broker's restart.
    std::vector<std::unique_ptr<QTcpSocket>> m_idle;

    // The resident size of a process, in bytes.
    static qint64 residentBytes(qint64 pid)
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
        return -1;
    }

    static int openFiles(qint64 pid)
    {
        return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                       .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                       .size());
    }

    QSslConfiguration metricsTrust() const
    {
        QSslConfiguration trust = QSslConfiguration::defaultConfiguration();
        trust.setCaCertificates(
            QSslCertificate::fromPath(m_sim.dir.filePath(QStringLiteral("metrics.pem"))));
        return trust;
    }
    QString m_authority;

    QString romOf(int channel) const
    {
        const auto rom = m_sim->model().assigned(channel);
        return rom ? RomCode::toText(*rom) : QString();
    }
    QString discoveryTopic(int channel) const
    {
        return QStringLiteral("homeassistant/sensor/tarvik_%1/ch%2_%3/config")
            .arg(kName)
            .arg(channel)
            .arg(romOf(channel));
    }
    // Entities in the form of earlier versions: one per device, whatever its channel.
    QString oldFormTopic(int channel) const
    {
        return QStringLiteral("homeassistant/sensor/tarvik_%1_%2/config").arg(kName, romOf(channel));
    }
    static QString staleTopic()
    {
        return QStringLiteral("homeassistant/sensor/tarvik_%1_28000000000000AA/config").arg(kName);
    }
    // An entity of channel 11, a free position now.
    static QString staleChannelTopic()
    {
        return QStringLiteral("homeassistant/sensor/tarvik_%1/ch11_28000000000000BB/config").arg(kName);
    }
    static QString otherGatewayTopic()
    {
        return QStringLiteral("homeassistant/sensor/tarvik_%1_2_28000000000000AA/config").arg(kName);
    }
    QString linkState() const
    {
        return json(m_probe->last(topic(QStringLiteral("link"))))[QStringLiteral("state")].toString();
    }
    bool waitFor(const std::function<bool()> &done, int ms = 5000)
    {
        const bool ok = QTest::qWaitFor(done, ms);
        if (!ok)
            qWarning().noquote() << "serve said:" << m_serve.readAllStandardError();
        return ok;
    }

private slots:
    void initTestCase()
    {
        m_authority = m_sim.dir.filePath(QStringLiteral("authority.pem"));
        QVERIFY(writeFile(m_authority, kAuthority));
        m_descriptions = m_sim.dir.filePath(QStringLiteral("channels.txt"));
        QVERIFY(writeDescriptions(m_descriptions, {{1, kBoiler}}));
        QVERIFY(m_broker.start());
        m_probe = std::make_unique<BrokerProbe>(m_broker.port());
        QVERIFY(m_probe->connected());
        m_metricsPort = MosquittoBroker::freePort();
        // The metrics endpoint with TLS (a certificate of its own, made here) and a password.
        QProcess openssl;
        openssl.setWorkingDirectory(m_sim.dir.path());
        openssl.start(QStringLiteral("openssl"),
            {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                "-keyout", "metrics.key", "-out", "metrics.pem", "-days", "2", "-subj",
                "/CN=tarvik metrics", "-addext", "subjectAltName=IP:127.0.0.1"});
        QVERIFY(openssl.waitForFinished(20000) && openssl.exitCode() == 0);
        const QString webConfig = m_sim.dir.filePath(QStringLiteral("web.yml"));
        QVERIFY(writeFile(webConfig,
            "tls_server_config:\n  cert_file: metrics.pem\n  key_file: metrics.key\n"
            "basic_auth_users:\n  prometheus: $2b$04$Uo73JH1ohiF0GmtPX/qbe.Ps0apfyOtX4wpDnxv6aGE86IXBCsCHu\n"));
        // Entities earlier runs left on the broker: in the earlier form one of a device gone
        // from the gateway since and one of a device still there, one of a channel freed since,
        // and one of another gateway whose ID starts alike.
        for (const QString &stale :
            {staleTopic(), oldFormTopic(21), staleChannelTopic(), otherGatewayTopic()}) {
            QVERIFY(m_probe->publishRetained(stale, QByteArrayLiteral("{\"name\":\"earlier run\"}")));
            QVERIFY(QTest::qWaitFor([&] { return m_probe->has(stale); }, 3000));
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        m_serve.setProcessEnvironment(env);
        // Under the service's own process limits: 256 open files, no new privileges (each tool
        // runs the next in its place, so the process is the bridge itself).
        m_serve.start(QStringLiteral("prlimit"),
            {QStringLiteral("--nofile=256:256"), QStringLiteral("setpriv"),
                QStringLiteral("--no-new-privs"), QStringLiteral(TARVIK_CLI_EXE),
                QStringLiteral("--port"), m_sim.link, QStringLiteral("--baud"), QStringLiteral("115200"),
                // Silent for 1.5 s counts as offline here (10 s by default).
                QStringLiteral("--timeout"), QStringLiteral("1500"), QStringLiteral("serve"),
                QStringLiteral("--mqtt"), m_broker.address(), QStringLiteral("--name"), kName,
                QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:%1").arg(m_metricsPort),
                QStringLiteral("--web-config"), webConfig, QStringLiteral("--descriptions"), m_descriptions, QStringLiteral("--heartbeat"),
                QStringLiteral("1")});
        QVERIFY(m_serve.waitForStarted());
        QVERIFY(waitFor(
            [&] { return m_probe->last(topic(QStringLiteral("availability"))) == "online"; }));
        // Online comes after the first whole round: every used channel is there by then.
        QVERIFY(waitFor([&] { return m_probe->has(discoveryTopic(21)); }, 2000));
    }

    void entitiesOfAnEarlierRunFollowTheChannels_data()
    {
        QTest::addColumn<QString>("config");
        QTest::addColumn<QString>("name"); // empty: withdrawn
        QTest::newRow("earlier form, device gone since: withdrawn") << staleTopic() << "";
        QTest::newRow("earlier form, device still there: withdrawn") << oldFormTopic(21) << "";
        QTest::newRow("device still there: its channel's entity") << discoveryTopic(21) << "Ch 20";
        QTest::newRow("channel freed since: withdrawn") << staleChannelTopic() << "";
        QTest::newRow("another gateway's: left alone") << otherGatewayTopic() << "earlier run";
    }
    void entitiesOfAnEarlierRunFollowTheChannels()
    {
        QFETCH(QString, config);
        QFETCH(QString, name);
        if (name.isEmpty()) {
            QVERIFY(waitFor([&] { return m_probe->has(config) && m_probe->last(config).isEmpty(); }));
        } else {
            QVERIFY(waitFor([&] { return m_probe->last(staleTopic()).isEmpty(); }));
            QCOMPARE(json(m_probe->last(config))[QStringLiteral("name")].toString(), name);
        }
    }

    void channelsReachTheBrokerAsTheGatewayHoldsThem_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QVariant>("temperature"); // invalid: null
        QTest::addColumn<QString>("entity"); // Home Assistant's name; empty: no entity
        QTest::newRow("thermometer, described") << 1 << QVariant(21.5) << kBoiler;
        QTest::newRow("humidity sensor") << 3 << QVariant(23.4) << "Ch 2";
        QTest::newRow("iButton: no entity") << 5 << QVariant() << "";
        QTest::newRow("CRC error: entity, no reading") << 8 << QVariant() << "Ch 7";
        QTest::newRow("line 2 thermometer") << 21 << QVariant(4.5) << "Ch 20";
        QTest::newRow("free position") << 11 << QVariant() << "";
    }
    void channelsReachTheBrokerAsTheGatewayHoldsThem()
    {
        QFETCH(int, channel);
        QFETCH(QVariant, temperature);
        QFETCH(QString, entity);
        const QString stateTopic = topic(QStringLiteral("channel/%1").arg(channel - 1));
        const uint16_t record = ChannelMap::recordAddress(channel);
        const int status = m_sim->model().reg(uint16_t(record + ChannelMap::StatusOffset)) & 0xFF;
        if (status == ChannelStatus::FreePosition) {
            QVERIFY(m_probe->last(stateTopic).isEmpty());
            return;
        }
        const QJsonObject state = json(m_probe->last(stateTopic));
        QCOMPARE(state[QStringLiteral("rom")].toString(), romOf(channel));
        QCOMPARE(state[QStringLiteral("status")].toInt(), status);
        QCOMPARE(state[QStringLiteral("channel")].toInt(), channel - 1);
        QCOMPARE(
            state[QStringLiteral("description")].toString(), channel == 1 ? kBoiler : QString());
        if (temperature.isValid())
            QCOMPARE(state[QStringLiteral("temperature")].toDouble(), temperature.toDouble());
        else
            QVERIFY(state[QStringLiteral("temperature")].isNull());

        const QByteArray config = m_probe->last(discoveryTopic(channel));
        if (entity.isEmpty()) {
            QVERIFY(config.isEmpty());
            return;
        }
        const QJsonObject c = json(config);
        QCOMPARE(c[QStringLiteral("name")].toString(), entity);
        QCOMPARE(c[QStringLiteral("unique_id")].toString(),
            QStringLiteral("tarvik_%1_ch%2_%3").arg(kName).arg(channel).arg(romOf(channel)));
        QCOMPARE(c[QStringLiteral("state_topic")].toString(), stateTopic);
        QCOMPARE(c[QStringLiteral("device_class")].toString(), QStringLiteral("temperature"));
        QCOMPARE(c[QStringLiteral("unit_of_measurement")].toString(), QStringLiteral("°C"));
        QCOMPARE(c[QStringLiteral("state_class")].toString(), QStringLiteral("measurement"));
        QCOMPARE(c[QStringLiteral("availability_topic")].toString(),
            topic(QStringLiteral("availability")));
        const QJsonObject device = c[QStringLiteral("device")].toObject();
        QCOMPARE(device[QStringLiteral("identifiers")].toArray().first().toString(),
            QStringLiteral("tarvik_") + kName);
        QCOMPARE(device[QStringLiteral("sw_version")].toString(), QStringLiteral("V1.09"));
    }

    // Scraped over TLS with the password, as Prometheus does with scheme https and basic_auth.
    void metricsScrapePassesPrometheusParser()
    {
        QNetworkAccessManager http;
        QNetworkRequest request(
            QUrl(QStringLiteral("https://127.0.0.1:%1/metrics").arg(m_metricsPort)));
        request.setSslConfiguration(metricsTrust());
        QNetworkReply *refused = http.get(request);
        QVERIFY(QTest::qWaitFor([&] { return refused->isFinished(); }, 5000));
        QCOMPARE(refused->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 401);
        refused->deleteLater();
        request.setRawHeader("Authorization", "Basic " + QByteArray("prometheus:scrape").toBase64());
        QNetworkReply *reply = http.get(request);
        QVERIFY(QTest::qWaitFor([&] { return reply->isFinished(); }, 5000));
        QVERIFY2(reply->error() == QNetworkReply::NoError, qPrintable(reply->errorString()));
        QVERIFY(reply->header(QNetworkRequest::ContentTypeHeader)
                    .toString()
                    .startsWith(QLatin1String("text/plain; version=0.0.4")));
        const QByteArray text = reply->readAll();
        reply->deleteLater();

        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QString::fromLatin1(kParser)});
        python.write(text);
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished(10000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
        const QStringList samples
            = QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'));
        // The description's quote and backslash come back whole through the parser.
        QVERIFY2(samples.contains(
                     QStringLiteral("tarvik_temperature_celsius\t0\t%1\t21.5").arg(kBoiler)),
            text.constData());
        QVERIFY(samples.contains(QStringLiteral("tarvik_channel_status\t7\t\t4.0")));
        QVERIFY(samples.contains(QStringLiteral("tarvik_link_up\t-\t-\t1.0")));
        // No temperature for the CRC error, the iButton or a free position.
        for (const QString &channel :
            {QStringLiteral("7"), QStringLiteral("4"), QStringLiteral("10")})
            QVERIFY(!samples.filter(QStringLiteral("tarvik_temperature_celsius\t%1\t").arg(channel))
                         .size());
        const QStringList requests = samples.filter(QStringLiteral("tarvik_requests_total\t"));
        QCOMPARE(requests.size(), 1);
        QVERIFY(requests.first().section(QLatin1Char('\t'), 3).toDouble() >= 5);
    }

    void heartbeatRepeatsUnchangedStateButNotTheEntities()
    {
        // Channel 2's thermometer holds still (the simulator's clock is off).
        const QString state = topic(QStringLiteral("channel/1"));
        const int states = m_probe->count(state);
        const int configs = m_probe->count(discoveryTopic(2));
        QVERIFY(waitFor([&] { return m_probe->count(state) >= states + 2; }, 3500));
        QCOMPARE(m_probe->count(discoveryTopic(2)), configs);
    }

    void freedChannelAndNewDescriptionsReachHomeAssistant()
    {
        const QString freed = discoveryTopic(1);
        // Channel 1 freed by the gateway's delete command, as tarvik-cli delete does.
        QCOMPARE(m_sim->model().writeSingle(
                     ServiceRegs::CommandRegister[0], uint16_t(Command::DeleteBase + 0)),
            GatewayModel::Access::Ok);
        QVERIFY(waitFor([&] {
            return m_probe->last(freed).isEmpty()
                && m_probe->last(topic(QStringLiteral("channel/0"))).isEmpty();
        }));
        QVERIFY(m_probe->has(freed)); // withdrawn, not just never sent

        // An escape sequence and a right-to-left override in the file go no further.
        QVERIFY(writeDescriptions(m_descriptions,
            {{2, QStringLiteral("Cel") + QChar(0x1b) + QStringLiteral("lar") + QChar(0x202E)}}));
        ::kill(pid_t(m_serve.processId()), SIGHUP);
        QVERIFY(waitFor([&] {
            return json(m_probe->last(discoveryTopic(2)))[QStringLiteral("name")].toString()
                == QLatin1String("Cellar");
        }));
        QCOMPARE(
            json(m_probe->last(topic(QStringLiteral("channel/1"))))[QStringLiteral("description")]
                .toString(),
            QStringLiteral("Cellar"));
    }

    // At once on the metrics port: a TLS client sending a 64 MB header line, one sending a
    // header a few bytes at a time, and 1,000 connections that send nothing. The state still
    // goes out every heartbeat, the bridge's memory stays within 5 MB of its quiet figure, and
    // the connections the endpoint keeps stay open through the broker's restart (next test).
    void metricsStormLeavesPublishingAndMemoryAlone()
    {
        const auto tlsClient = [&](QSslSocket &socket) {
            socket.setSslConfiguration(metricsTrust());
            socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), quint16(m_metricsPort));
            return QTest::qWaitFor([&] { return socket.isEncrypted(); }, 5000);
        };
        {
            // The quiet figure includes TLS at work, as at every scrape.
            QSslSocket scrape;
            QVERIFY(tlsClient(scrape));
            scrape.write("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
            QVERIFY(QTest::qWaitFor([&] { return scrape.canReadLine(); }, 5000));
        }
        const qint64 quiet = residentBytes(m_serve.processId());
        QVERIFY(quiet > 0);
        const int quietFiles = openFiles(m_serve.processId());
        QFile limits(QStringLiteral("/proc/%1/limits").arg(m_serve.processId()));
        QVERIFY(limits.open(QIODevice::ReadOnly));
        QVERIFY(limits.readAll().simplified().contains("Max open files 256 256"));
        const QString state = topic(QStringLiteral("channel/20"));
        const int statesBefore = m_probe->count(state);
        QSslSocket big;
        QSslSocket slow;
        QVERIFY(tlsClient(big));
        QVERIFY(tlsClient(slow));
        QTimer drip;
        QObject::connect(&drip, &QTimer::timeout, &slow, [&] { slow.write("X-Slow: a\r\n"); });
        slow.write("GET /metrics HTTP/1.1\r\n");
        drip.start(100);

        for (int batch = 0; batch < 10; ++batch) {
            for (int i = 0; i < 100; ++i) {
                m_idle.push_back(std::make_unique<QTcpSocket>());
                m_idle.back()->connectToHost(QHostAddress::LocalHost, quint16(m_metricsPort));
            }
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return std::none_of(m_idle.begin(), m_idle.end(), [](const auto &c) {
                        return c->state() == QAbstractSocket::ConnectingState;
                    });
                },
                5000));
        }

        big.write("GET /metrics HTTP/1.1\r\nX-Big: ");
        const QByteArray chunk(64 * 1024, 'a');
        qint64 sent = 0;
        QByteArray answer;
        // Read as it comes: the socket drops what is unread when the peer closes.
        QObject::connect(&big, &QSslSocket::readyRead, &big, [&] { answer += big.readAll(); });
        QElapsedTimer storm;
        storm.start();
        while (storm.elapsed() < 3000) {
            while (big.state() == QAbstractSocket::ConnectedState && sent < 64 * 1024 * 1024
                && big.bytesToWrite() < 1024 * 1024) {
                big.write(chunk);
                sent += chunk.size();
            }
            QTest::qWait(10);
        }
        QVERIFY2(answer.startsWith("HTTP/1.1 431 "), answer.left(200).constData());
        QVERIFY(big.state() != QAbstractSocket::ConnectedState);
        QVERIFY2(m_probe->count(state) >= statesBefore + 2,
            qPrintable(QString::number(m_probe->count(state) - statesBefore)));
        const qint64 loaded = residentBytes(m_serve.processId());
        if (kMeasuresMemory)
            QVERIFY2(loaded - quiet < 5 * 1024 * 1024,
            qPrintable(QStringLiteral("%1 -> %2 bytes").arg(quiet).arg(loaded)));
        // The endpoint keeps 64 connections at most (the big one may still be closing); the
        // rest were closed as they came, so the bridge holds no more open files than that.
        QVERIFY2(openFiles(m_serve.processId()) <= quietFiles + 65,
            qPrintable(QStringLiteral("%1 -> %2").arg(quietFiles).arg(openFiles(m_serve.processId()))));
        std::erase_if(m_idle, [](const auto &c) { return c->state() != QAbstractSocket::ConnectedState; });
        drip.stop();
    }

    void brokerRestartGetsTheLatestStateAndNothingOlder()
    {
        m_probe.reset();
        m_broker.stop();
        QTest::qWait(500);
        QVERIFY(m_broker.start());
        m_probe = std::make_unique<BrokerProbe>(m_broker.port());
        QVERIFY(m_probe->connected());
        // The bridge retries after 1 s, then 2 s: back within a few seconds.
        QVERIFY(waitFor(
            [&] { return m_probe->last(topic(QStringLiteral("availability"))) == "online"; },
            8000));
        QVERIFY(waitFor(
            [&] {
                return m_probe->has(discoveryTopic(2))
                    && m_probe->has(topic(QStringLiteral("channel/20")));
            },
            3000));
        QCOMPARE(json(m_probe->last(discoveryTopic(2)))[QStringLiteral("name")].toString(),
            QStringLiteral("Cellar"));
        // The freed channel does not come back from some queue of old messages.
        QTest::qWait(300);
        QVERIFY(m_probe->last(topic(QStringLiteral("channel/0"))).isEmpty());
        QVERIFY(m_probe->topics(QStringLiteral("homeassistant/"))
                    .filter(RomCode::toText(GatewayModel::makeRom(0x28, 0x05E260A215FF)))
                    .isEmpty());
        m_idle.clear();
    }

    void silentGatewayGoesOfflineAndBack()
    {
        const QString availability = topic(QStringLiteral("availability"));
        m_sim->RequestFate = [](const QByteArray &) { return GatewaySimulator::Fate::Ignore; };
        // The gateway answers again whatever this test finds.
        const auto answerAgain = qScopeGuard([&] { m_sim->RequestFate = nullptr; });
        QVERIFY(waitFor([&] { return m_probe->last(availability) == "offline"; }, 4000));
        // The link's state follows the availability on the broker.
        QVERIFY(waitFor([&] { return linkState() == QLatin1String("silent"); }, 2000));
        // The heartbeat (every second here) does not send the silent gateway's last state again.
        const int states = m_probe->count(topic(QStringLiteral("channel/0")));
        QTest::qWait(1500);
        QCOMPARE(m_probe->count(topic(QStringLiteral("channel/0"))), states);
        m_sim->RequestFate = nullptr;
        QVERIFY(waitFor([&] { return m_probe->last(availability) == "online"; }, 3000));
    }

    // A gateway that answers late and stalls now and then: every state the bridge publishes is
    // still its own channel's, and the link and the entities name nothing but this gateway's
    // firmware and devices.
    void lateAnswersAndStallsPublishNothingWrong()
    {
        const auto stateTopic = [](int c) { return topic(QStringLiteral("channel/%1").arg(c - 1)); };
        QList<int> before;
        for (int c = 1; c <= 40; ++c)
            before.append(m_probe->count(stateTopic(c)));
        const int linkBefore = m_probe->count(topic(QStringLiteral("link")));
        const QStringList entitiesBefore = m_probe->topics(QStringLiteral("homeassistant/"));
        QList<int> entityMessages;
        for (const QString &t : entitiesBefore)
            entityMessages.append(m_probe->count(t));

        FaultInjector::Rates late;
        late.late = 0.5;
        late.lateMs = 150;
        m_sim->faults().setRates(late);
        QTest::qWait(3000);
        m_sim->stall(700);
        QTest::qWait(2500);
        m_sim->faults().setRates({});
        QVERIFY(m_sim->faults().counts().late > 0);
        QVERIFY(waitFor([&] { return m_probe->last(topic(QStringLiteral("availability"))) == "online"; }, 4000));
        QTest::qWait(500);

        for (int c = 1; c <= 40; ++c) {
            const int status = m_sim->model().reg(uint16_t(ChannelMap::recordAddress(c) + ChannelMap::StatusOffset)) & 0xFF;
            for (const QByteArray &payload : m_probe->all(stateTopic(c)).mid(before[c - 1])) {
                if (payload.isEmpty()) {
                    QCOMPARE(status, int(ChannelStatus::FreePosition));
                    continue;
                }
                QCOMPARE(json(payload)[QStringLiteral("rom")].toString(), romOf(c));
                QCOMPARE(json(payload)[QStringLiteral("status")].toInt(), status);
            }
        }
        for (const QByteArray &payload : m_probe->all(topic(QStringLiteral("link"))).mid(linkBefore))
            QCOMPARE(json(payload)[QStringLiteral("firmware")].toString(), QStringLiteral("V1.09"));
        // No entity was withdrawn and made again.
        QCOMPARE(m_probe->topics(QStringLiteral("homeassistant/")), entitiesBefore);
        for (int i = 0; i < entitiesBefore.size(); ++i)
            QCOMPARE(m_probe->count(entitiesBefore[i]), entityMessages[i]);
    }

    void unpluggedPortGoesOfflineAndComesBack()
    {
        const QString availability = topic(QStringLiteral("availability"));
        m_sim.unplug();
        QVERIFY(waitFor([&] { return m_probe->last(availability) == "offline"; }, 3000));
        QVERIFY(waitFor([&] { return linkState() == QLatin1String("port closed"); }, 2000));
        // Tried again while it is missing: said once, as gone, not as a wrong --port.
        QTest::qWait(2500);
        m_sim.plugIn();
        QVERIFY(waitFor([&] { return m_probe->last(availability) == "online"; }, 8000));
        QVERIFY(waitFor([&] { return linkState() == QLatin1String("answering"); }, 2000));
        const QString said = QString::fromUtf8(m_serve.readAllStandardError());
        QVERIFY2(said.contains(
                     QStringLiteral("The port %1 is gone (unplugged?); trying again every 2 s").arg(m_sim.link)),
            qPrintable(said));
        QVERIFY2(!said.contains(QLatin1String("Invalid port number")), qPrintable(said));
        QVERIFY2(said.contains(QStringLiteral("The port %1 is open again").arg(m_sim.link)), qPrintable(said));
    }

    void sigtermPublishesOfflineAndEndsWithZero()
    {
        const int before = m_probe->count(topic(QStringLiteral("availability")));
        const auto linkSince = [&] {
            return QDateTime::fromString(json(m_probe->last(topic(QStringLiteral("link"))))[QStringLiteral("since")].toString(), Qt::ISODate);
        };
        const QDateTime answeringSince = linkSince();
        QVERIFY(answeringSince.isValid());
        QTest::qWait(1100); // "since" has whole seconds
        m_serve.terminate(); // SIGTERM
        QVERIFY(waitFor([&] { return m_serve.state() == QProcess::NotRunning; }, 5000));
        QCOMPARE(m_serve.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_serve.exitCode(), 0);
        QVERIFY(waitFor(
            [&] { return m_probe->count(topic(QStringLiteral("availability"))) > before; }, 2000));
        QCOMPARE(m_probe->last(topic(QStringLiteral("availability"))), QByteArray("offline"));
        // The link's last word names the stop and when it came.
        QVERIFY(waitFor([&] {
            return json(m_probe->last(topic(QStringLiteral("link"))))[QStringLiteral("reason")].toString() == QLatin1String("stopped");
        }, 2000));
        QVERIFY2(linkSince() > answeringSince, qPrintable(linkSince().toString(Qt::ISODate)));
    }

    void badStartsEndWithOneLine_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        const QString nobody = QStringLiteral("127.0.0.1:%1").arg(MosquittoBroker::freePort());
        QTest::newRow("no broker given") << QStringList{} << 2 << "needs --mqtt";
        QTest::newRow("name with topic characters")
            << QStringList{"--mqtt", nobody, "--name", "a+b"} << 2 << "--name takes";
        QTest::newRow("broker unreachable")
            << QStringList{"--mqtt", nobody} << 1 << "Cannot connect to the MQTT broker " + nobody;
        // Both at once, not after the connect timeout.
        QTest::newRow("TLS, broker unreachable")
            << QStringList{"--mqtt", nobody, "--mqtt-cafile", m_authority} << 1
            << "Cannot connect to the MQTT broker " + nobody + ": Connection refused";
        QTest::newRow("TLS, broker without it")
            << QStringList{"--mqtt", m_broker.address(), "--mqtt-cafile", m_authority} << 1
            << QStringLiteral("(does the broker take TLS on port %1?)")
                   .arg(m_broker.port());
        const QString web = m_sim.dir.filePath(QStringLiteral("clear.yml"));
        writeFile(web, "basic_auth_users:\n  prometheus: scrape\n");
        QTest::newRow("web configuration without metrics")
            << QStringList{"--mqtt", nobody, "--web-config", web} << 2 << "it goes with --metrics";
        QTest::newRow("password in clear in the web configuration")
            << QStringList{"--mqtt", nobody, "--metrics", "9", "--web-config", web} << 2
            << "--web-config: " + web + ": line 2: the password of prometheus is to be a bcrypt hash";
    }
    void badStartsEndWithOneLine()
    {
        QFETCH(QStringList, words);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        const auto r = CliProcess::run(
            QStringList{QStringLiteral("--port"), m_sim.link, QStringLiteral("serve")} + words, 15000);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QCOMPARE(r.err.trimmed().count(QLatin1Char('\n')), 0);
    }

    // A broker that asks for a client certificate (made here with openssl, signed by an
    // authority of the test's own) takes the bridge's --mqtt-cert and --mqtt-key, and refuses
    // the bridge without them.
    void brokerAskingForAClientCertificateTakesTheBridges()
    {
        QTemporaryDir files;
        const QDir dir(files.path());
        const auto openssl = [&](const QStringList &words) {
            QProcess p;
            p.setWorkingDirectory(dir.path());
            p.start(QStringLiteral("openssl"), words);
            return p.waitForFinished(20000) && p.exitCode() == 0;
        };
        const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes"};
        QVERIFY(openssl(QStringList{"req", "-x509"} + key
            + QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-subj", "/CN=tarvik test CA", "-days", "2"}));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("san.ext")), "subjectAltName=IP:127.0.0.1\n"));
        for (const QString &name : {QStringLiteral("server"), QStringLiteral("client")}) {
            QVERIFY(openssl(QStringList{"req"} + key
                + QStringList{"-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name}));
            QVERIFY(openssl({"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", name + ".pem", "-days", "2", "-extfile", "san.ext"}));
        }
        // mosquitto reads its files after dropping to its own user.
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        for (const char *file : {"ca.pem", "server.pem", "server.key"})
            QVERIFY(QFile::setPermissions(dir.filePath(QLatin1String(file)),
                QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        MosquittoBroker broker;
        broker.setListenerOptions(QStringLiteral("cafile %1\ncertfile %2\nkeyfile %3\nrequire_certificate true")
                                      .arg(dir.filePath("ca.pem"), dir.filePath("server.pem"), dir.filePath("server.key")));
        QVERIFY(broker.start());
        const QStringList tls{"serve", "--mqtt", broker.address(), "--name", "tls", "--mqtt-cafile", dir.filePath("ca.pem")};

        const auto refused = CliProcess::run(QStringList{"--port", m_sim.link} + tls, 15000);
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains(QLatin1String("Cannot connect to the MQTT broker")), qPrintable(refused.err));

        QProcess serve;
        serve.start(QStringLiteral(TARVIK_CLI_EXE), QStringList{"--port", m_sim.link} + tls
            + QStringList{"--mqtt-cert", dir.filePath("client.pem"), "--mqtt-key", dir.filePath("client.key")});
        QString said;
        const bool connected = QTest::qWaitFor([&] {
            said += QString::fromUtf8(serve.readAllStandardError());
            // Said once the broker took the connection (a refused one ends the bridge).
            return said.contains(QLatin1String("Serving gateway tls")) || serve.state() == QProcess::NotRunning;
        }, 10000);
        serve.terminate();
        serve.waitForFinished(5000);
        QVERIFY2(connected && said.contains(QLatin1String("Serving gateway tls")), qPrintable(said));
    }

    void cleanupTestCase()
    {
        if (m_serve.state() != QProcess::NotRunning) {
            m_serve.kill();
            m_serve.waitForFinished(2000);
        }
    }
};

QTEST_MAIN(tst_ServeOnPty)
#include "tst_ServeOnPty.moc"
