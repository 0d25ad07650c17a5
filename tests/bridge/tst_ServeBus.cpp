// One tarvik-cli serve for three simulated gateways on one line, one of them silent, against a
// real mosquitto: each gateway gets its own ID, availability, channels and Home Assistant
// device, the silent one is reported offline while the others stay online, the metrics carry
// every gateway's series under one family each, and the bridge's own topic is the broker's
// last will, which every entity depends on.
#include "MosquittoBroker.h"
#include "SimProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {
QJsonObject json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}
} // namespace

class tst_ServeBus : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    MosquittoBroker m_broker;
    std::unique_ptr<BrokerProbe> m_probe;

    QString metrics(int port)
    {
        QNetworkAccessManager http;
        QNetworkReply *reply = http.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port))));
        const auto done = qScopeGuard([reply] { reply->deleteLater(); });
        if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 5000))
            return QString();
        return QString::fromUtf8(reply->readAll());
    }
    void startServe(QProcess &serve, int metricsPort)
    {
        serve.start(QStringLiteral(TARVIK_CLI_EXE),
                    {"--port", m_dir.filePath("line"), "--baud", "115200", "--address", "1-3", "--timeout", "1500",
                     "serve", "--mqtt", m_broker.address(), "--name", "hall-%a", "--metrics",
                     QStringLiteral("127.0.0.1:%1").arg(metricsPort)});
        QVERIFY(serve.waitForStarted());
    }
    bool waitFor(QProcess &serve, const std::function<bool()> &done, int ms = 8000)
    {
        const bool ok = QTest::qWaitFor(done, ms);
        if (!ok)
            qWarning().noquote() << "serve said:" << serve.readAllStandardError();
        return ok;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_broker.start());
        m_probe = std::make_unique<BrokerProbe>(m_broker.port());
        QVERIFY(QTest::qWaitFor([&] { return m_probe->connected(); }, 5000));
    }

    void everyGatewayIsServedOnItsOwnAndTheBridgeIsTheLastWill()
    {
        SimProcess sim({"--link", m_dir.filePath("line"), "--baud", "115200", "--address", "1,2,3", "--silent", "3"});
        QVERIFY2(sim.waitReady(), sim.errors().constData());
        QProcess serve;
        const int metricsPort = MosquittoBroker::freePort();
        startServe(serve, metricsPort);

        QVERIFY(waitFor(serve, [&] {
            return m_probe->last("tarvik/hall-1/availability") == "online" && m_probe->last("tarvik/hall-2/availability") == "online"
                   && json(m_probe->last("tarvik/hall-3/link")).value("state").toString() == "silent"
                   && m_probe->has("tarvik/hall-1/channel/0") && m_probe->has("tarvik/hall-2/channel/0");
        }));
        QCOMPARE(m_probe->last("tarvik/hall/bridge"), QByteArray("online"));
        QCOMPARE(m_probe->last("tarvik/hall-3/availability"), QByteArray("offline"));
        QCOMPARE(json(m_probe->last("tarvik/hall-2/link")).value("address").toInt(), 2);
        // Each gateway's own devices.
        const QString rom1 = json(m_probe->last("tarvik/hall-1/channel/0")).value("rom").toString();
        const QString rom2 = json(m_probe->last("tarvik/hall-2/channel/0")).value("rom").toString();
        QVERIFY2(!rom1.isEmpty() && rom1 != rom2, qPrintable(rom1 + ' ' + rom2));

        // A device per gateway, each entity available only while its gateway and the bridge are.
        QString config;
        QVERIFY(waitFor(serve, [&] {
            const QStringList configs = m_probe->topics(QStringLiteral("homeassistant/sensor/tarvik_hall-2/"));
            for (const QString &t : configs)
                if (t.contains(QLatin1String("/ch")))
                    config = t;
            return !config.isEmpty();
        }));
        const QJsonObject entity = json(m_probe->last(config));
        QCOMPARE(entity.value("availability_mode").toString(), QStringLiteral("all"));
        const QJsonArray availability = entity.value("availability").toArray();
        QCOMPARE(availability.size(), 2);
        QCOMPARE(availability[0].toObject().value("topic").toString(), QStringLiteral("tarvik/hall-2/availability"));
        QCOMPARE(availability[1].toObject().value("topic").toString(), QStringLiteral("tarvik/hall/bridge"));
        QCOMPARE(entity.value("device").toObject().value("name").toString(), QStringLiteral("1-WIRE-TARVIK hall-2"));

        const QString text = metrics(metricsPort);
        QCOMPARE(text.count(QStringLiteral("# TYPE tarvik_link_up gauge")), 1);
        QVERIFY2(text.contains(QStringLiteral("tarvik_link_up{gateway=\"hall-1\"} 1"))
                     && text.contains(QStringLiteral("tarvik_link_up{gateway=\"hall-2\"} 1"))
                     && text.contains(QStringLiteral("tarvik_link_up{gateway=\"hall-3\"} 0")),
                 qPrintable(text));

        // Ended: everything says offline.
        ::kill(pid_t(serve.processId()), SIGTERM);
        QVERIFY(serve.waitForFinished(8000));
        QCOMPARE(serve.exitCode(), 0);
        QCOMPARE(m_probe->last("tarvik/hall/bridge"), QByteArray("offline"));
        QCOMPARE(m_probe->last("tarvik/hall-1/availability"), QByteArray("offline"));

        // Killed: the broker's last will takes the bridge, and so every entity, offline.
        QProcess again;
        startServe(again, MosquittoBroker::freePort());
        QVERIFY(waitFor(again, [&] { return m_probe->last("tarvik/hall/bridge") == "online"; }));
        again.kill();
        QVERIFY(again.waitForFinished(5000));
        QVERIFY(waitFor(again, [&] { return m_probe->last("tarvik/hall/bridge") == "offline"; }));
    }
};

QTEST_GUILESS_MAIN(tst_ServeBus)
#include "tst_ServeBus.moc"
