// Faults are reported, not deleted: tarvik-cli serve against the simulated gateway and a real
// mosquitto, under topic and discovery prefixes of its own. A short circuit keeps its line's
// entities, retained state and metrics series and says so on the line's topic and problem
// sensor; a channel read free once keeps its entity, read free twice loses it; one ROM code in
// two channels is two entities; with --no-discovery nothing is configured or withdrawn.
#include "MosquittoBroker.h"
#include "RegisterMap.h"
#include "RomCode.h"
#include "SimOnPty.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

namespace {

const QString kName = QStringLiteral("gw2");
const QString kTopicPrefix = QStringLiteral("site/tarvik");
const QString kDiscoveryPrefix = QStringLiteral("ha");
constexpr int kLine2Block = 200; // channels 21-30

QString topic(const QString &rest)
{
    return QStringLiteral("%1/%2/%3").arg(kTopicPrefix, kName, rest);
}

QString channelTopic(int channel)
{
    return topic(QStringLiteral("channel/%1").arg(channel - 1));
}

QJsonObject json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

// The start register of a read request; -1 for any other frame.
int readStart(const QByteArray &frame)
{
    if (frame.size() != 8 || uint8_t(frame[1]) != 0x03)
        return -1;
    return uint8_t(frame[2]) << 8 | uint8_t(frame[3]);
}

const QList<uint16_t> kNoDevice = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};

QList<uint16_t> words(const RomCode::Words &rom)
{
    return {rom[0], rom[1], rom[2], rom[3]};
}

} // namespace

class tst_ServeFaults : public QObject
{
    Q_OBJECT

    SimOnPty m_sim;
    MosquittoBroker m_broker;
    std::unique_ptr<BrokerProbe> m_probe;
    QProcess m_serve;
    int m_metricsPort = 0;
    QHash<int, int> m_reads; // read requests the gateway took, by start register

    // The ROM code assigned to the channel (its record shows none while its line has a fault).
    QString rom(int channel) const
    {
        const auto assigned = m_sim.sim->model().assigned(channel);
        return assigned ? RomCode::toText(*assigned) : QString();
    }
    QString entityTopic(int channel) const
    {
        return QStringLiteral("%1/sensor/tarvik_%2/ch%3_%4/config")
            .arg(kDiscoveryPrefix, kName)
            .arg(channel)
            .arg(rom(channel));
    }
    // Whether the topic was ever cleared (an entity withdrawn, a state removed).
    bool everCleared(const QString &t) const { return m_probe->all(t).contains(QByteArray()); }
    bool waitFor(QProcess &serve, const std::function<bool()> &done, int ms = 5000)
    {
        const bool ok = QTest::qWaitFor(done, ms);
        if (!ok)
            qWarning().noquote() << "serve said:" << serve.readAllStandardError();
        return ok;
    }
    // Waits until the gateway has taken n more reads of the block.
    bool waitReads(int start, int n)
    {
        const int until = m_reads.value(start) + n;
        return waitFor(m_serve, [&] { return m_reads.value(start) >= until; });
    }
    QString metrics()
    {
        QNetworkAccessManager http;
        QNetworkReply *reply = http.get(QNetworkRequest(
            QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(m_metricsPort))));
        const auto done = qScopeGuard([reply] { reply->deleteLater(); });
        if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 5000))
            return QString();
        return QString::fromUtf8(reply->readAll());
    }
    static void start(QProcess &serve, const QStringList &words)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        serve.setProcessEnvironment(env);
        serve.start(QStringLiteral(TARVIK_CLI_EXE), words);
    }

private slots:
    void initTestCase()
    {
        m_sim->OnRequest = [this](const QByteArray &frame, qint64) { ++m_reads[readStart(frame)]; };
        // Channel 26 holds channel 21's ROM code too, as a restore or write-rom can leave it.
        QCOMPARE(m_sim.model().writeMultiple(ChannelMap::recordAddress(26), words(m_sim.rom(21))),
            GatewayModel::Access::Ok);
        QVERIFY(m_broker.start());
        m_probe = std::make_unique<BrokerProbe>(m_broker.port());
        QVERIFY(m_probe->connected());
        m_metricsPort = MosquittoBroker::freePort();
        start(m_serve,
            m_sim.line()
                + QStringList{QStringLiteral("--timeout"), QStringLiteral("1500"),
                    QStringLiteral("serve"), QStringLiteral("--mqtt"), m_broker.address(),
                    QStringLiteral("--name"), kName, QStringLiteral("--topic-prefix"), kTopicPrefix,
                    QStringLiteral("--discovery-prefix"), kDiscoveryPrefix,
                    QStringLiteral("--metrics"),
                    QStringLiteral("127.0.0.1:%1").arg(m_metricsPort)});
        QVERIFY(m_serve.waitForStarted());
        QVERIFY(waitFor(m_serve,
            [&] { return m_probe->last(topic(QStringLiteral("availability"))) == "online"; }));
        QVERIFY(waitFor(
            m_serve, [&] { return m_probe->has(entityTopic(26)); }, 3000));
    }

    void oneEntityPerChannelLinesAndDiagnosticsUnderTheGivenPrefixes()
    {
        // Channels 21 and 26 hold one device: two entities, each on its own channel's state,
        // each configured once and not again at every cycle.
        QCOMPARE(rom(26), rom(21));
        const QJsonObject first = json(m_probe->last(entityTopic(21)));
        const QJsonObject second = json(m_probe->last(entityTopic(26)));
        QCOMPARE(first[QStringLiteral("state_topic")].toString(), channelTopic(21));
        QCOMPARE(second[QStringLiteral("state_topic")].toString(), channelTopic(26));
        QVERIFY(first[QStringLiteral("unique_id")].toString()
            != second[QStringLiteral("unique_id")].toString());
        QVERIFY(waitReads(kLine2Block, 2));
        QCOMPARE(m_probe->count(entityTopic(21)), 1);
        QCOMPARE(m_probe->count(entityTopic(26)), 1);

        for (int line : {1, 2}) {
            QCOMPARE(json(m_probe->last(
                         topic(QStringLiteral("line/%1").arg(line))))[QStringLiteral("state")]
                         .toString(),
                QStringLiteral("OK"));
            const QJsonObject problem
                = json(m_probe->last(QStringLiteral("%1/binary_sensor/tarvik_%2/line%3/config")
                                         .arg(kDiscoveryPrefix, kName)
                                         .arg(line)));
            QCOMPARE(problem[QStringLiteral("device_class")].toString(), QStringLiteral("problem"));
            QCOMPARE(problem[QStringLiteral("state_topic")].toString(),
                topic(QStringLiteral("line/%1").arg(line)));
        }
        const QJsonObject errors = json(m_probe->last(
            QStringLiteral("%1/sensor/tarvik_%2/errors/config").arg(kDiscoveryPrefix, kName)));
        QCOMPARE(
            errors[QStringLiteral("entity_category")].toString(), QStringLiteral("diagnostic"));
        QCOMPARE(errors[QStringLiteral("state_topic")].toString(), topic(QStringLiteral("link")));
        // Nothing under the default prefixes.
        QCOMPARE(m_probe->topics(QStringLiteral("tarvik/")), QStringList());
        QCOMPARE(m_probe->topics(QStringLiteral("homeassistant/")), QStringList());
    }

    void shortCircuitKeepsEntitiesStateAndSeriesAndIsReported()
    {
        const QString line2 = topic(QStringLiteral("line/2"));
        m_sim.model().setLineFault(1, ChannelStatus::ShortCircuit);
        QVERIFY(waitFor(m_serve,
            [&] { return json(m_probe->last(line2))[QStringLiteral("status")].toInt() == 2; }));
        QCOMPARE(json(m_probe->last(line2))[QStringLiteral("state")].toString(),
            QStringLiteral("Short circuit"));
        // Faults stay through further cycles: nothing read on the line for two reads in a row
        // is not a free channel.
        QVERIFY(waitReads(kLine2Block, 2));

        for (int channel : {21, 26}) {
            const QJsonObject state = json(m_probe->last(channelTopic(channel)));
            QCOMPARE(state[QStringLiteral("rom")].toString(), rom(21));
            QCOMPARE(state[QStringLiteral("status")].toInt(), int(ChannelStatus::ShortCircuit));
            QCOMPARE(
                state[QStringLiteral("statusText")].toString(), QStringLiteral("Short circuit"));
            QVERIFY(state[QStringLiteral("temperature")].isNull());
            QVERIFY(!everCleared(channelTopic(channel)));
            QVERIFY(!m_probe->last(entityTopic(channel)).isEmpty());
            QVERIFY(!everCleared(entityTopic(channel)));
        }
        const QString text = metrics();
        const QString labels
            = QStringLiteral("gateway=\"%1\",channel=\"20\",rom=\"%2\",description=\"\"")
                  .arg(kName, rom(21));
        QVERIFY2(text.contains(QStringLiteral("tarvik_channel_status{%1} 2\n").arg(labels)),
            qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("tarvik_temperature_celsius{%1}").arg(labels)),
            qPrintable(text));
        QVERIFY2(
            text.contains(
                QStringLiteral("tarvik_line_status{gateway=\"%1\",line=\"2\"} 2\n").arg(kName)),
            qPrintable(text));

        m_sim.model().setLineFault(1, 0);
        QVERIFY(waitFor(m_serve, [&] {
            return json(m_probe->last(channelTopic(21)))[QStringLiteral("temperature")].toDouble()
                == 4.5
                && json(m_probe->last(line2))[QStringLiteral("status")].toInt() == 0;
        }));
    }

    void entityGoesOnlyWhenItsChannelReadsFreeTwiceInARow()
    {
        const QString entity = entityTopic(22);
        const QString state = channelTopic(22);
        const RomCode::Words device = m_sim.rom(22);
        // One read of channels 21-30 shows channel 22 free; the next has it back.
        int reads = 0;
        m_sim->RequestFate = [&](const QByteArray &frame) {
            if (readStart(frame) == kLine2Block && ++reads <= 2)
                m_sim.model().writeMultiple(
                    ChannelMap::recordAddress(22), reads == 1 ? kNoDevice : words(device));
            return GatewaySimulator::Fate::Answer;
        };
        const auto answerAsUsual = qScopeGuard([&] { m_sim->RequestFate = nullptr; });
        QVERIFY(waitFor(m_serve, [&] { return reads >= 3; }));
        QVERIFY(!everCleared(entity));
        QVERIFY(!everCleared(state));

        // Freed for good: withdrawn once two reads in a row show it free.
        m_sim->RequestFate = nullptr;
        const int before = m_reads.value(kLine2Block);
        QCOMPARE(m_sim.model().writeMultiple(ChannelMap::recordAddress(22), kNoDevice),
            GatewayModel::Access::Ok);
        QVERIFY(waitFor(m_serve,
            [&] { return m_probe->last(entity).isEmpty() && m_probe->last(state).isEmpty(); }));
        QVERIFY(m_reads.value(kLine2Block) - before >= 2);
    }

    // A second gateway served with --no-discovery: its state is published, and entities of it
    // on the broker, current or stale, in either form, are left as they are.
    void noDiscoveryPublishesStateOnlyAndWithdrawsNothing()
    {
        SimOnPty sim;
        const QStringList left
            = {QStringLiteral("homeassistant/sensor/tarvik_gw3/ch11_28000000000000BB/config"),
                QStringLiteral("homeassistant/sensor/tarvik_gw3_28000000000000AA/config")};
        for (const QString &t : left) {
            QVERIFY(m_probe->publishRetained(t, QByteArrayLiteral("{\"name\":\"earlier run\"}")));
            QVERIFY(QTest::qWaitFor([&] { return m_probe->has(t); }, 3000));
        }
        int reads = 0;
        sim->OnRequest
            = [&](const QByteArray &frame, qint64) { reads += readStart(frame) == 0 ? 1 : 0; };
        QProcess serve;
        start(serve,
            sim.line()
                + QStringList{QStringLiteral("serve"), QStringLiteral("--mqtt"), m_broker.address(),
                    QStringLiteral("--name"), QStringLiteral("gw3"),
                    QStringLiteral("--no-discovery")});
        const auto end = qScopeGuard([&] {
            serve.kill();
            serve.waitForFinished(2000);
        });
        QVERIFY(serve.waitForStarted());
        QVERIFY(waitFor(serve, [&] {
            return m_probe->last(QStringLiteral("tarvik/gw3/availability")) == "online"
                && m_probe->has(QStringLiteral("tarvik/gw3/channel/0"));
        }));
        // Long enough for entities to be configured and stale ones withdrawn, were that on.
        const int until = reads + 3;
        QVERIFY(waitFor(serve, [&] { return reads >= until; }));
        QTest::qWait(300);
        QCOMPARE(
            m_probe->topics(QStringLiteral("homeassistant/")).filter(QStringLiteral("tarvik_gw3")),
            left);
        for (const QString &t : left)
            QCOMPARE(m_probe->count(t), 1);
    }

    void cleanupTestCase()
    {
        if (m_serve.state() != QProcess::NotRunning) {
            m_serve.kill();
            m_serve.waitForFinished(2000);
        }
    }
};

QTEST_MAIN(tst_ServeFaults)
#include "tst_ServeFaults.moc"
