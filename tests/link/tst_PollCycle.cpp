// The poll cycle, driven tick by tick on an in-memory line: block order, write slots, pauses,
// timeouts, and the refusals of the write queue.
#include "FrameBytes.h"
#include "MemoryTransport.h"
#include "ScriptedPrompts.h"
#include "TModbusKomunikator.h"

#include <QTest>

namespace {

struct Rig
{
    MemoryTransport *line = new MemoryTransport;
    TAfComPort port{std::unique_ptr<SerialTransport>(line)};
    TModbusKomunikator master{&port};
    QList<uint16_t> delivered; // start addresses of the blocks passed on

    Rig()
    {
        port.setObjectName(QStringLiteral("AfComPort1"));
        master.OnBlockReceived = [this] { delivered.append(master.GetBlockAddress()); };
    }
    void open()
    {
        master.Open(QStringLiteral("memory"));
        QVERIFY(master.PollTimer().isActive());
        master.PollTimer().stop(); // ticks are driven by the test
    }
    // One tick; returns what it put on the wire.
    QByteArray tick()
    {
        master.PollTimerTick();
        return line->takeWritten();
    }
    // The register address of a read request, or -1 when the bytes are not one.
    static int readAddress(const QByteArray &frame)
    {
        if (frame.size() != 8 || frame[1] != 0x03)
            return -1;
        return uint8_t(frame[2]) << 8 | uint8_t(frame[3]);
    }
    void answer() { line->inject(readAnswer(1, QList<uint16_t>(100, 7))); }
    int interval() const { return master.PollTimer().interval(); }
};

} // namespace

class tst_PollCycle : public QObject
{
    Q_OBJECT
private slots:
    void blocksAreReadInOrderStartingWithTheServiceBlock()
    {
        Rig rig;
        rig.open();
        QCOMPARE(rig.interval(), 500);
        QList<int> order;
        for (int i = 0; i < 8; ++i) {
            order.append(Rig::readAddress(rig.tick()));
            rig.answer();
        }
        QCOMPARE(order, (QList<int>{1000, 1100, 1200, 0, 100, 200, 300, 1000}));
        QCOMPARE(rig.delivered, (QList<uint16_t>{1000, 1100, 1200, 0, 100, 200, 300, 1000}));
        QCOMPARE(rig.interval(), 500);
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{8, 8, 0, false}));
    }

    void queuedWritesGoOutEvery60msThenTheCyclePauses()
    {
        Rig rig;
        rig.open();
        QCOMPARE(Rig::readAddress(rig.tick()), 1000);
        rig.answer();
        QVERIFY(rig.master.QueueWrites({{0x05FF, 1010}, {0x0001, 1055}}));

        QCOMPARE(rig.tick(), withCrc(hexBytes("01 06 03 F2 05 FF")));
        QCOMPARE(rig.master.CycleState(), TModbusKomunikator::Writing);
        QCOMPARE(rig.interval(), 60);
        QCOMPARE(rig.tick(), withCrc(hexBytes("01 06 04 1F 00 01")));
        QCOMPARE(rig.master.CycleState(), TModbusKomunikator::Pausing);
        QCOMPARE(rig.interval(), 1000);
        QVERIFY(rig.master.WriteQueue().isEmpty());

        QCOMPARE(rig.tick(), QByteArray()); // end of the pause
        QCOMPARE(rig.master.CycleState(), TModbusKomunikator::Polling);
        QCOMPARE(rig.interval(), 500);
        QCOMPARE(Rig::readAddress(rig.tick()), 1100);
        // Writes are not counted as requests.
        QCOMPARE(rig.master.Counters().Tx(), 2);
    }

    void silentGatewayGetsTheSameBlockAgainAfterEachPause()
    {
        Rig rig;
        rig.open();
        QList<int> requests;
        QList<int> intervals;
        for (int i = 0; i < 10; ++i) {
            requests.append(Rig::readAddress(rig.tick()));
            intervals.append(rig.interval());
        }
        // Request, pause (1000 ms), end of pause, request... The timeout is recorded when the
        // next request goes out; from then on the block index stays.
        QCOMPARE(requests, (QList<int>{1000, -1, -1, 1100, -1, -1, 1100, -1, -1, 1100}));
        QCOMPARE(intervals, (QList<int>{500, 1000, 500, 500, 1000, 500, 500, 1000, 500, 500}));
        // One request every 2 x PollInterval + 1000 ms.
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 4, 3, true}));
    }

    void writesTakenInTimeoutAreConsumedUnsent()
    {
        Rig rig;
        rig.open();
        rig.tick();
        rig.tick();
        rig.tick();
        rig.tick(); // second request: timeout recorded
        QVERIFY(rig.master.Counters().TimedOut());
        QVERIFY(rig.master.QueueWrites({{1, 1010}, {2, 1020}}));
        QCOMPARE(rig.tick(), QByteArray());
        QCOMPARE(rig.tick(), QByteArray());
        QVERIFY(rig.master.WriteQueue().isEmpty());
        QCOMPARE(rig.master.CycleState(), TModbusKomunikator::Pausing);
    }

    void aGoodAnswerEndsTheTimeoutAndTheCycleMovesOn()
    {
        Rig rig;
        rig.open();
        rig.tick();
        rig.tick();
        rig.tick();
        QCOMPARE(Rig::readAddress(rig.tick()), 1100);
        rig.answer();
        QVERIFY(!rig.master.Counters().TimedOut());
        QCOMPARE(Rig::readAddress(rig.tick()), 1200);
    }

    void shortAnswerIsDrainedAtTheNextTickUncounted()
    {
        Rig rig;
        rig.open();
        rig.tick();
        rig.line->inject(withCrc(hexBytes("01 83 02")));
        QCOMPARE(rig.port.bytesWaiting(), 5);
        int rxFrames = 0;
        rig.master.OnRxFrame = [&](const TFrameBuffer &f) {
            ++rxFrames;
            QCOMPARE(f.Len, uint8_t(5));
        };
        QCOMPARE(Rig::readAddress(rig.tick()), 1100);
        QCOMPARE(rxFrames, 1);
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 2, 0, false}));
    }

    void queueRefusesWhileBusyAndOnAClosedPort()
    {
        ScriptedPrompts prompts;
        Rig rig;
        QVERIFY(!rig.master.QueueWrites({{1, 1010}}));
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information),
                 QStringList{QStringLiteral("Communication port is inactive.")});
        rig.open();
        QVERIFY(rig.master.QueueWrites({{1, 1010}, {2, 1011}}));
        QVERIFY(!rig.master.QueueWrites({{3, 1012}}));
        rig.master.QueueWrite(4, 1013); // dropped silently
        QCOMPARE(rig.master.WriteQueue(), (QList<TWriteEntry>{{1, 1010}, {2, 1011}}));
        QCOMPARE(prompts.shown().size(), 1);
    }

    void queueLeftAtCloseIsSentAfterTheNextOpen()
    {
        Rig rig;
        rig.open();
        QVERIFY(rig.master.QueueWrites({{0x05FF, 1010}}));
        rig.master.Close();
        QVERIFY(!rig.master.PollTimer().isActive());
        rig.open();
        QCOMPARE(rig.tick(), withCrc(hexBytes("01 06 03 F2 05 FF")));
    }

    void requestBlockChoosesTheNextRead_data()
    {
        QTest::addColumn<int>("block");
        QTest::addColumn<int>("address");
        QTest::newRow("block 0") << 0 << 0;
        QTest::newRow("block 4") << 4 << 1000;
        QTest::newRow("block 6") << 6 << 1200;
    }
    void requestBlockChoosesTheNextRead()
    {
        QFETCH(int, block);
        QFETCH(int, address);
        Rig rig;
        rig.open();
        for (int i = 0; i < 3; ++i) {
            rig.tick();
            rig.answer();
        }
        rig.master.RequestBlock(block);
        QCOMPARE(Rig::readAddress(rig.tick()), address);
    }

    void baudRateSetsThePollInterval_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("interval");
        QTest::newRow("1200") << 1200 << 4000;
        QTest::newRow("4800") << 4800 << 1000;
        QTest::newRow("9600") << 9600 << 500;
        QTest::newRow("14400") << 14400 << 333;
        QTest::newRow("16000") << 16000 << 300;
        QTest::newRow("115200") << 115200 << 300;
    }
    void baudRateSetsThePollInterval()
    {
        QFETCH(int, baud);
        QFETCH(int, interval);
        Rig rig;
        rig.master.SetBaudRate(baud);
        QCOMPARE(rig.master.PollInterval(), interval);
        QCOMPARE(rig.interval(), interval);
        QCOMPARE(rig.master.UserBaudRate(), baud);
    }

    void baudRateZeroLeavesTheInterval()
    {
        Rig rig;
        rig.master.SetBaudRate(2400);
        rig.master.SetBaudRate(0);
        QCOMPARE(rig.master.PollInterval(), 2000);
    }
};

QTEST_GUILESS_MAIN(tst_PollCycle)
#include "tst_PollCycle.moc"
