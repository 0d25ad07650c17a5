// tarvik-cli on lines reached over the network, against real peers on loopback: socat as a
// serial server in raw mode in front of the simulated gateway's pseudo-terminal (tcp://), and
// Debian's pymodbus holding the gateway's registers as a Modbus TCP server (mbap://) and as an
// RTU-over-TCP server (tcp://), and the simulator's own Modbus TCP gateway (mbap://). What the
// command shows over the network is what it shows on the line itself; a firmware image arrives byte
// for byte; a server that goes away is a port that went away; --timeout lets answers come as late
// as the network makes them.
#include "CliProcess.h"
#include "PymodbusServer.h"
#include "SimOnPty.h"
#include "SimProcess.h"
#include "SocatServer.h"
#include "TestHelpers.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTest>

namespace {
// Holding registers pymodbus serves: the register map up to the last firmware register.
constexpr int kRegisterCount = 1472;
constexpr qint32 kBaud = 115200;
} // namespace

class tst_CliOverNetwork : public QObject
{
    Q_OBJECT

    SimOnPty m_sim;
    QString m_registers; // the gateway's registers, for pymodbus
    QString m_channels; // `channels --json` straight over the pseudo-terminal

    static QStringList over(const QString &address)
    {
        return {
            QStringLiteral("--port"), address, QStringLiteral("--baud"), QString::number(kBaud)};
    }
    // A firmware image of random bytes in the file.
    static QByteArray writeImage(const QString &path, quint32 seed)
    {
        QByteArray image(4096, Qt::Uninitialized);
        QRandomGenerator rng(seed);
        for (char &c : image)
            c = char(rng.bounded(256));
        return writeFile(path, image) ? image : QByteArray();
    }
    static QStringList firmware(const QString &path)
    {
        return {QStringLiteral("firmware"), path, QStringLiteral("--yes"),
            QStringLiteral("--pace-ms=20")};
    }
    // What a gateway holds of an update: the image, then erased memory.
    static bool holdsImage(const QByteArray &received, const QByteArray &image)
    {
        return !image.isEmpty() && received.left(image.size()) == image
            && received.mid(image.size()) == QByteArray(received.size() - image.size(), char(0xFF));
    }

private slots:
    void initTestCase()
    {
        QByteArray values;
        for (int a = 0; a < kRegisterCount; ++a)
            values += QByteArray::number(m_sim.model().reg(uint16_t(a))) + ' ';
        m_registers = m_sim.dir.filePath(QStringLiteral("registers.txt"));
        QVERIFY(writeFile(m_registers, values));
        const auto r = CliProcess::run(
            m_sim.line() + QStringList{QStringLiteral("channels"), QStringLiteral("--json")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        m_channels = r.out;
        QVERIFY(m_channels.contains(QLatin1String("\"rom\"")));
    }

    void channelsThroughASerialServerAreTheLinesOwn()
    {
        SocatServer server(m_sim.link, kBaud);
        QVERIFY(server.start());
        const auto r = CliProcess::run(over(server.address())
            + QStringList{QStringLiteral("channels"), QStringLiteral("--json")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(r.out, m_channels);
    }

    // An independent Modbus stack serves the gateway's registers: over Modbus TCP and with RTU
    // frames over TCP, the tool reads what it reads on the line.
    void independentServerHoldingTheRegistersReadsAlike_data()
    {
        QTest::addColumn<int>("framing");
        QTest::newRow("Modbus TCP, mbap://") << int(PymodbusServer::Framing::ModbusTcp);
        QTest::newRow("RTU over TCP, tcp://") << int(PymodbusServer::Framing::RtuOverTcp);
    }
    void independentServerHoldingTheRegistersReadsAlike()
    {
        QFETCH(int, framing);
        PymodbusServer server(PymodbusServer::Framing(framing), m_registers);
        QVERIFY(server.start());
        const auto r = CliProcess::run(over(server.address())
            + QStringList{QStringLiteral("channels"), QStringLiteral("--json")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(r.out, m_channels);
    }

    // Every answer comes 600 ms after its request: later than the line and the network allowed
    // for by default, within what --timeout allows.
    void timeoutAllowsForASlowNetwork()
    {
        PymodbusServer server(PymodbusServer::Framing::ModbusTcp, m_registers, 600);
        QVERIFY(server.start());
        const QStringList channels{QStringLiteral("channels"), QStringLiteral("--json")};
        auto r = CliProcess::run(over(server.address()) + channels, 30000);
        QVERIFY2(r.exitCode == 1 && r.err.contains(QLatin1String("No answer from the gateway")),
            qPrintable(r.err));
        r = CliProcess::run(over(server.address())
                + QStringList{QStringLiteral("--timeout"), QStringLiteral("2000")} + channels,
            30000);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(r.out, m_channels);
    }

    void firmwareThroughASerialServerArrivesByteForByte()
    {
        const QString path = m_sim.dir.filePath(QStringLiteral("net.bin"));
        const QByteArray image = writeImage(path, 11);
        SocatServer server(m_sim.link, kBaud);
        QVERIFY(server.start());
        const auto r = CliProcess::run(over(server.address()) + firmware(path));
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(QLatin1String("Memory programming done.")), qPrintable(r.out));
        QVERIFY(holdsImage(m_sim.model().firmwareImage(), image));
    }

    // Through a Modbus TCP gateway in front of the line (the simulator's own), every frame under
    // a transaction id of its own.
    void firmwareThroughAModbusTcpGatewayArrivesByteForByte()
    {
        const QString path = m_sim.dir.filePath(QStringLiteral("mbap.bin"));
        const QString received = m_sim.dir.filePath(QStringLiteral("received.bin"));
        const QByteArray image = writeImage(path, 12);
        {
            SimProcess gateway(
                {QStringLiteral("--mbap"), QStringLiteral("0"), QStringLiteral("--baud"),
                    QString::number(kBaud), QStringLiteral("--image-out"), received});
            QVERIFY(gateway.waitReady());
            const QString address
                = QStringLiteral("mbap://127.0.0.1:%1").arg(gateway.port(QStringLiteral("mbap")));
            const auto r = CliProcess::run(over(address) + firmware(path));
            QVERIFY2(r.exitCode == 0, qPrintable(r.err + QString::fromUtf8(gateway.errors())));
        } // ended: the simulator writes out what it received
        QFile file(received);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(holdsImage(file.readAll(), image));
    }

    void serverGoingAwayIsThePortGoingAway()
    {
        SocatServer server(m_sim.link, kBaud);
        QVERIFY(server.start());
        CliProcess watch;
        watch.start(over(server.address()) + QStringList{QStringLiteral("watch")});
        const int before = m_sim->stats().frames;
        QVERIFY(QTest::qWaitFor([&] { return m_sim->stats().frames > before + 3; }, 10000));
        server.stop();
        const auto r = watch.finish(10000);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral(
                     "The port %1 is gone (unplugged?): Connection closed by 127.0.0.1:%2")
                                    .arg(server.address())
                                    .arg(server.port())),
            qPrintable(r.err));
    }

    void serverThatIsNotThereIsSaidInOneLine()
    {
        quint16 port = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        }
        const QString address = QStringLiteral("mbap://127.0.0.1:%1").arg(port);
        const auto r = CliProcess::run(over(address) + QStringList{QStringLiteral("channels")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err.trimmed(),
            QStringLiteral("tarvik-cli: Can't connect to %1 (Connection refused by 127.0.0.1:%2)")
                .arg(address)
                .arg(port));
    }
};

QTEST_MAIN(tst_CliOverNetwork)
#include "tst_CliOverNetwork.moc"
