// tarvik-cli serve on a line reached through a serial server (socat in raw mode in front of the
// simulated gateway's pseudo-terminal) and a real mosquitto broker: the server going away is
// an unplugged port (offline, the same words, said once), and serve is back within its retry
// time once the server returns on the same port.
#include "MosquittoBroker.h"
#include "SimOnPty.h"
#include "SocatServer.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {
const QString kName = QStringLiteral("net1");
// serve tries a port again every 2 s.
constexpr int kReopenMs = 2000;

QString topic(const QString &rest)
{
    return QStringLiteral("tarvik/%1/%2").arg(kName, rest);
}
} // namespace

class tst_ServeOverNetwork : public QObject
{
    Q_OBJECT

    SimOnPty m_sim;
    MosquittoBroker m_broker;
    std::unique_ptr<BrokerProbe> m_probe;
    QProcess m_serve;
    QString m_said;

    QString linkState() const
    {
        return QJsonDocument::fromJson(m_probe->last(topic(QStringLiteral("link"))))
            .object()[QStringLiteral("state")]
            .toString();
    }
    QString availability() const
    {
        return QString::fromUtf8(m_probe->last(topic(QStringLiteral("availability"))));
    }
    bool waitFor(const std::function<bool()> &done, int ms)
    {
        const bool ok = QTest::qWaitFor(
            [&] {
                m_said += QString::fromUtf8(m_serve.readAllStandardError());
                return done();
            },
            ms);
        if (!ok)
            qWarning().noquote() << "serve said:" << m_said;
        return ok;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_broker.start());
        m_probe = std::make_unique<BrokerProbe>(m_broker.port());
        QVERIFY(m_probe->connected());
    }

    void serverThatGoesAndComesBackIsAnUnpluggedPort()
    {
        SocatServer server(m_sim.link, 115200);
        QVERIFY(server.start());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        m_serve.setProcessEnvironment(env);
        m_serve.start(QStringLiteral(TARVIK_CLI_EXE),
            {QStringLiteral("--port"), server.address(), QStringLiteral("--baud"),
                QStringLiteral("115200"), QStringLiteral("serve"), QStringLiteral("--mqtt"),
                m_broker.address(), QStringLiteral("--name"), kName});
        QVERIFY(m_serve.waitForStarted());
        QVERIFY(waitFor([&] { return availability() == QLatin1String("online"); }, 10000));

        server.stop();
        QVERIFY(waitFor([&] { return availability() == QLatin1String("offline"); }, 3000));
        QVERIFY(waitFor([&] { return linkState() == QLatin1String("port closed"); }, 2000));
        // Tried again while the server is away: refused each time, and said once, as gone.
        QTest::qWait(kReopenMs + 500);

        QVERIFY(server.start(server.port()));
        QElapsedTimer back;
        back.start();
        const QString open = QStringLiteral("The port %1 is open again").arg(server.address());
        QVERIFY(waitFor([&] { return m_said.contains(open); }, kReopenMs + 2000));
        qInfo("connected again %lld ms after the server came back", back.elapsed());
        QVERIFY(back.elapsed() <= kReopenMs + 700);
        QVERIFY(waitFor([&] { return availability() == QLatin1String("online"); }, 5000));
        QVERIFY(waitFor([&] { return linkState() == QLatin1String("answering"); }, 2000));

        const QString gone = QStringLiteral("The port %1 is gone (unplugged?): Connection closed "
                                            "by 127.0.0.1:%2; trying again every 2 s")
                                 .arg(server.address())
                                 .arg(server.port());
        QCOMPARE(m_said.count(gone), 1);
        QVERIFY2(!m_said.contains(QLatin1String("Can't connect")), qPrintable(m_said));
    }

    void cleanupTestCase()
    {
        if (m_serve.state() != QProcess::NotRunning) {
            m_serve.terminate();
            if (!m_serve.waitForFinished(3000))
                m_serve.kill();
        }
    }
};

QTEST_MAIN(tst_ServeOverNetwork)
#include "tst_ServeOverNetwork.moc"
