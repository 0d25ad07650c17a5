// Several simulated gateways on one in-memory line, paced at the line's speed, each read by a
// communicator of its own under one bus scheduler: no block may land at another gateway's
// communicator, no two exchanges may meet on the line, every gateway keeps its own pacing, and
// a silent or late gateway costs the others little and never their data.
#include "BusScheduler.h"
#include "GatewayBus.h"
#include "MemoryGatewayLine.h"
#include "TModbusKomunikator.h"

#include <QElapsedTimer>
#include <QTest>
#include <map>
#include <memory>
#include <vector>

namespace {

struct Reader
{
    std::unique_ptr<TModbusKomunikator> master;
    int blocks = 0;
    int wrongBlocks = 0;
    int failedReads = 0;
    QList<qint64> requestsMs; // when each read request went out
};

// The line, the gateways on it and a communicator per gateway, all started at 115200 Bd.
struct SharedLine
{
    explicit SharedLine(const QList<int> &addresses)
    {
        toolEnd = new MemoryTransport;
        port = std::make_unique<TAfComPort>(std::unique_ptr<SerialTransport>(toolEnd));
        gateways = std::make_unique<GatewayBus>(std::make_unique<MemoryGatewayLine>(toolEnd));
        bus = std::make_unique<BusScheduler>(*port);
        clock.start();
        for (int address : addresses) {
            GatewaySimulator::Options options;
            options.address = uint8_t(address);
            options.line.baudRate = 115200;
            options.clock = false;
            options.seed = uint32_t(address);
            // Each gateway its own devices and values.
            gateways->addGateway(options)->model().loadDemoPopulation(address);
            auto &r = readers[address];
            r.master = std::make_unique<TModbusKomunikator>(port.get());
            TModbusKomunikator &master = *r.master;
            master.setSlaveAddress(uint8_t(address));
            master.SetBaudRate(115200);
            master.OnBlockReceived = [this, address, &master] {
                Reader &reader = readers[address];
                ++reader.blocks;
                std::array<uint16_t, PollBlockSize> got{};
                master.GetRegisters(got);
                QList<uint16_t> expected;
                gateways->gateway(uint8_t(address))->model().read(master.GetBlockAddress(), PollBlockSize, expected);
                if (QList<uint16_t>(got.begin(), got.end()) != expected)
                    ++reader.wrongBlocks;
            };
            master.OnTxFrame = [this, address](const TFrameBuffer &frame) {
                if (frame.Len > 1 && frame.Data[1] == 0x03)
                    readers[address].requestsMs.append(clock.elapsed());
            };
            master.OnReadFailed = [this, address](int, TModbusKomunikator::ReadFault) { ++readers[address].failedReads; };
            bus->add(master);
        }
    }
    ~SharedLine()
    {
        bus->close();
        bus.reset();
    }
    void run(int ms)
    {
        bus->open(QStringLiteral("memory"));
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QTest::qWait(20);
        bus->close();
    }
    static QString times(const Reader &reader)
    {
        QStringList t;
        for (qint64 ms : reader.requestsMs)
            t.append(QString::number(ms));
        return t.join(' ');
    }
    // The shortest time between two read requests to one gateway.
    static qint64 closestRequests(const Reader &reader)
    {
        qint64 closest = LLONG_MAX;
        for (qsizetype i = 1; i < reader.requestsMs.size(); ++i)
            closest = qMin(closest, reader.requestsMs[i] - reader.requestsMs[i - 1]);
        return closest;
    }

    MemoryTransport *toolEnd = nullptr;
    std::unique_ptr<TAfComPort> port;
    std::unique_ptr<GatewayBus> gateways;
    std::map<int, Reader> readers; // before the scheduler: it goes first
    std::unique_ptr<BusScheduler> bus;
    QElapsedTimer clock;
};

} // namespace

class tst_BusScheduler : public QObject
{
    Q_OBJECT
private slots:
    void everyGatewayGetsOnlyItsOwnBlocksAtItsOwnPace()
    {
        SharedLine line({1, 2, 5});
        line.run(3000);
        for (auto &[address, reader] : line.readers) {
            const TCounterSnapshot c = reader.master->Counters().Snapshot();
            QVERIFY2(reader.blocks >= 6, qPrintable(QStringLiteral("address %1: %2 blocks").arg(address).arg(reader.blocks)));
            QCOMPARE(reader.wrongBlocks, 0);
            // Two exchanges on the line at once would garble both answers.
            QCOMPARE(c.Err, 0);
            // Each gateway is asked no faster than its own interval.
            // (A tick the event loop served late shortens the next interval by as much.)
            QVERIFY2(SharedLine::closestRequests(reader) >= reader.master->PollInterval() - 15,
                     qPrintable(QStringLiteral("address %1: %2").arg(address).arg(SharedLine::times(reader))));
        }
    }

    void lateAnswersOfOneGatewayNeverBecomeAnothersData()
    {
        SharedLine line({1, 2, 3});
        FaultInjector::Rates rates;
        rates.late = 0.5;
        rates.lateMs = 400; // past the answer's time, into the next gateway's exchange
        line.gateways->gateway(1)->faults().setRates(rates);
        line.bus->setProbeIntervalMs(300);
        line.run(4000);
        for (auto &[address, reader] : line.readers)
            QCOMPARE(reader.wrongBlocks, 0);
        // The late answers did meet the other gateways' exchanges, and they still got blocks.
        QVERIFY(line.gateways->gateway(1)->faults().counts().late > 0);
        QVERIFY(line.readers[2].failedReads + line.readers[3].failedReads > 0);
        QVERIFY(line.readers[2].blocks >= 5 && line.readers[3].blocks >= 5);
    }

    void aSilentGatewayIsOnlyProbed()
    {
        SharedLine line({1, 2, 3});
        line.bus->setProbeIntervalMs(2000);
        line.gateways->gateway(3)->setSilent(true);
        line.run(8000);
        const Reader &silent = line.readers[3];
        // Asked again after each pause until it counts as silent, then once per probe interval.
        // (The last one may still be waiting for its answer's time.)
        QVERIFY(silent.master->UnansweredReads() >= silent.requestsMs.size() - 1);
        QVERIFY2(silent.requestsMs.size() >= 4, qPrintable(QString::number(silent.requestsMs.size())));
        for (qsizetype i = BusScheduler::SilentAfterReads; i < silent.requestsMs.size(); ++i)
            QVERIFY(silent.requestsMs[i] - silent.requestsMs[i - 1] >= 2000 - 2);
        for (int address : {1, 2}) {
            const Reader &reader = line.readers[address];
            QCOMPARE(reader.wrongBlocks, 0);
            QCOMPARE(reader.master->Counters().Snapshot().Err, 0);
            QVERIFY(reader.blocks >= 20);
        }
    }
};

QTEST_GUILESS_MAIN(tst_BusScheduler)
#include "tst_BusScheduler.moc"
