// The search for gateways of unknown speed and address, on an in-memory line with simulated
// gateways that answer only at their own speed and address: every device is reported once it
// answered twice, only its speed is tried once something answered, a refusal is no gateway,
// and Cancel or a lost port end the search at once with the port's handlers given back.
#include "GatewayBus.h"
#include "GatewayFinder.h"
#include "MemoryGatewayLine.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {

struct Probe
{
    qint32 baud;
    int address;
};

// The line with its gateways (unpaced, fixed values), the tool's port open on it, and a
// finder over speeds 9600, 19200 and 115200 and addresses 1-8. An in-memory answer comes on
// the next turn of the event loop, so a short probe time keeps silent probes quick.
struct Line
{
    explicit Line(const QList<GatewaySimulator::Options> &gatewayOptions)
    {
        toolEnd = new MemoryTransport;
        port = std::make_unique<TAfComPort>(std::unique_ptr<SerialTransport>(toolEnd));
        gateways = std::make_unique<GatewayBus>(std::make_unique<MemoryGatewayLine>(toolEnd));
        for (GatewaySimulator::Options o : gatewayOptions) {
            o.paced = false;
            o.clock = false;
            gateways->addGateway(o)->model().loadDemoPopulation();
        }
        port->setPortName(QStringLiteral("memory"));
        port->open();
        // The owner's handlers, which the finder must give back.
        port->OnDataRecived = [this](TAfComPort *, int) { ++ownerData; };
        port->OnClosed = [this](TAfComPort *, const QString &) { ++ownerClosed; };
        finder = std::make_unique<GatewayFinder>(*port, GatewayFinder::Options{{9600, 19200, 115200}, {1, 2, 3, 4, 5, 6, 7, 8}, 150});
        QObject::connect(finder.get(), &GatewayFinder::probing, finder.get(),
                         [this](qint32 baud, int address) { probes.append({baud, address}); });
    }
    bool run(int ms = 20000)
    {
        finder->start();
        return QTest::qWaitFor([this] { return !finder->running(); }, ms);
    }
    int framesHeard() const
    {
        int frames = 0;
        for (const GatewaySimulator *g : gateways->gateways())
            frames += g->stats().frames;
        return frames;
    }
    // The port's handlers are the owner's again.
    bool handlersGivenBack()
    {
        const int data = ownerData, closed = ownerClosed;
        if (port->OnDataRecived)
            port->OnDataRecived(port.get(), 0);
        if (port->OnClosed)
            port->OnClosed(port.get(), QString());
        return ownerData == data + 1 && ownerClosed == closed + 1;
    }

    MemoryTransport *toolEnd; // owned by the port
    std::unique_ptr<TAfComPort> port;
    std::unique_ptr<GatewayBus> gateways;
    std::unique_ptr<GatewayFinder> finder;
    QList<Probe> probes;
    int ownerData = 0;
    int ownerClosed = 0;
};

GatewaySimulator::Options at(int address, qint32 baud)
{
    GatewaySimulator::Options o;
    o.address = uint8_t(address);
    o.line.baudRate = baud;
    return o;
}

} // namespace

class tst_GatewayFinder : public QObject
{
    Q_OBJECT
private slots:
    void findsEveryGatewayOnTheLineTryingOnlyItsSpeedOnceOneAnswered()
    {
        Line line({at(3, 19200), at(7, 19200)});
        QSignalSpy finished(line.finder.get(), &GatewayFinder::finished);
        QVERIFY(line.run());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(line.finder->outcome(), GatewayFinder::Outcome::Completed);
        const QList<GatewayFinder::Find> &finds = line.finder->finds();
        QCOMPARE(finds.size(), 2);
        QCOMPARE(finds[0].baud, 19200);
        QCOMPARE(finds[0].address, 3);
        QCOMPARE(finds[1].address, 7);
        QVERIFY(finds[0].isGateway());
        QCOMPARE(finds[0].version(), uint16_t(GatewayModel::FirmwareVersion));
        // Addresses 1 and 2 at three speeds, 3 at 9600 and 19200 Bd; from there 19200 Bd only.
        QCOMPARE(line.finder->tried(), 3 + 3 + 2 + 5);
        QCOMPARE(line.probes.size(), line.finder->tried());
        for (qsizetype i = 8; i < line.probes.size(); ++i)
            QCOMPARE(line.probes[i].baud, 19200);
        // Each gateway was asked twice, and nothing else answered.
        QCOMPARE(line.gateways->gateway(3)->stats().answered, 2);
        QCOMPARE(line.gateways->gateway(7)->stats().answered, 2);
        QVERIFY(line.handlersGivenBack());
    }

    // A device that refuses the read is reported as some other device; its speed is the line's.
    void aDeviceThatRefusesTheReadIsNoGateway()
    {
        Line line({at(2, 115200)});
        line.gateways->gateway(2)->faults().setRates({.exception = 1.0});
        QVERIFY(line.run());
        QCOMPARE(line.finder->finds().size(), 1);
        QVERIFY(!line.finder->finds()[0].isGateway());
        QCOMPARE(line.finder->finds()[0].baud, 115200);
        QCOMPARE(line.probes.last().baud, 115200);
    }

    // A device that answers once and not when asked again (a stranger's frame that happened to
    // fit, a late answer) is not reported, and the search goes on at every speed.
    void anAnswerNotGivenAgainIsNotReported()
    {
        Line line({at(2, 9600)});
        QObject::connect(line.finder.get(), &GatewayFinder::confirming, line.finder.get(),
                         [&line] { line.gateways->gateway(2)->setSilent(true); });
        QVERIFY(line.run());
        QVERIFY(line.finder->finds().isEmpty());
        QCOMPARE(line.finder->tried(), 24);
        QCOMPARE(line.probes.last().baud, 115200);
    }

    void cancelEndsTheSearchAtOnceAndSendsNothingMore()
    {
        Line line({at(5, 19200)});
        QSignalSpy finished(line.finder.get(), &GatewayFinder::finished);
        QObject::connect(line.finder.get(), &GatewayFinder::probing, line.finder.get(), [&line](qint32, int address) {
            if (address == 2)
                line.finder->cancel();
        });
        QVERIFY(line.run(5000));
        QCOMPARE(line.finder->outcome(), GatewayFinder::Outcome::Cancelled);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(line.finder->tried(), 3);
        const int heard = line.framesHeard();
        QCOMPARE(heard, 3);
        QTest::qWait(400);
        QCOMPARE(line.framesHeard(), heard);
        QCOMPARE(finished.size(), 1);
        QVERIFY(line.handlersGivenBack());
    }

    void aPortLostUnderTheSearchEndsIt()
    {
        Line line({at(5, 19200)});
        QObject::connect(line.finder.get(), &GatewayFinder::probing, line.finder.get(), [&line](qint32, int address) {
            if (address == 2)
                line.toolEnd->loseDevice(QStringLiteral("unplugged"));
        });
        QVERIFY(line.run(5000));
        QCOMPARE(line.finder->outcome(), GatewayFinder::Outcome::PortLost);
        QCOMPARE(line.finder->lostReason(), QStringLiteral("unplugged"));
        QCOMPARE(line.ownerClosed, 0); // the finder took the loss, not the owner
        QVERIFY(line.handlersGivenBack());
    }
};

QTEST_GUILESS_MAIN(tst_GatewayFinder)
#include "tst_GatewayFinder.moc"
