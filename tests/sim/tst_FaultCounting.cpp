// Hundreds of polls against the simulated gateway on an in-memory line, with answers dropped,
// corrupted, cut short and split into pieces: the counters must tell exactly what was done to
// the answers, and no spoiled block may reach the receiver.
#include "GatewaySimulator.h"
#include "MemoryGatewayLine.h"
#include "TModbusKomunikator.h"

#include <QCoreApplication>
#include <QTest>

class tst_FaultCounting : public QObject
{
    Q_OBJECT
private slots:
    void countersMatchTheInjectedFaults()
    {
        auto *toolEnd = new MemoryTransport;
        TAfComPort port{std::unique_ptr<SerialTransport>(toolEnd)};
        TModbusKomunikator master{&port};
        GatewaySimulator::Options options;
        options.paced = false;
        options.clock = false;
        options.seed = 20261208;
        GatewaySimulator sim(std::make_unique<MemoryGatewayLine>(toolEnd), options);
        sim.model().loadDemoPopulation();
        FaultInjector::Rates rates;
        rates.drop = 0.30;
        rates.corrupt = 0.10;
        rates.truncate = 0.05;
        rates.split = 0.5;
        sim.faults().setRates(rates);

        int blocks = 0;
        int wrongBlocks = 0;
        master.OnBlockReceived = [&] {
            ++blocks;
            std::array<uint16_t, 100> got{};
            master.GetRegisters(got);
            QList<uint16_t> expected;
            sim.model().read(master.GetBlockAddress(), 100, expected);
            if (QList<uint16_t>(got.begin(), got.end()) != expected)
                ++wrongBlocks;
        };

        master.SetBaudRate(9600);
        master.Open(QStringLiteral("memory"));
        master.PollTimer().stop();
        bool lastUnsettled = false;
        for (int tick = 0; tick < 1500; ++tick) {
            const int requestsBefore = sim.faults().counts().answers;
            master.PollTimerTick();
            for (int i = 0; i < 4; ++i)
                QCoreApplication::processEvents();
            if (sim.faults().counts().answers != requestsBefore)
                lastUnsettled = sim.faults().lastFault() == FaultInjector::Fault::Drop
                                || sim.faults().lastFault() == FaultInjector::Fault::Truncate;
        }

        const FaultInjector::Counts &f = sim.faults().counts();
        const TCounterSnapshot c = master.Counters().Snapshot();
        QVERIFY2(c.Tx >= 500, qPrintable(QString::number(c.Tx)));
        QVERIFY(f.dropped > 0 && f.corrupted > 0 && f.truncated > 0 && f.split > 0);
        QCOMPARE(c.Tx, f.answers);
        QCOMPARE(c.Rx, f.answers - f.dropped - f.corrupted - f.truncated);
        // A dropped answer is counted as a timeout, one cut short as a failed answer, when the
        // next request goes out.
        QCOMPARE(c.Err, f.corrupted + f.dropped + f.truncated - (lastUnsettled ? 1 : 0));
        QCOMPARE(blocks, c.Rx);
        QCOMPARE(wrongBlocks, 0);
    }
};

QTEST_GUILESS_MAIN(tst_FaultCounting)
#include "tst_FaultCounting.moc"
