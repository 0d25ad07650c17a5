// The poll cycle, driven tick by tick on an in-memory line: block order, write slots, pauses,
// timeouts, waiting for answers on their way, and the refusals of the write queue.
#include "FrameBytes.h"
#include "MemoryTransport.h"
#include "ScriptedPrompts.h"
#include "TTarvikKomunikator.h"

#include <QSignalSpy>
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
    QByteArray lastSent;
    // One tick; returns what it put on the wire.
    QByteArray tick()
    {
        master.PollTimerTick();
        const QByteArray sent = line->takeWritten();
        if (!sent.isEmpty())
            lastSent = sent;
        return sent;
    }
    // The register address of a read request, or -1 when the bytes are not one.
    static int readAddress(const QByteArray &frame)
    {
        if (frame.size() != 8 || frame[1] != 0x03)
            return -1;
        return uint8_t(frame[2]) << 8 | uint8_t(frame[3]);
    }
    // The answer to the last read: the given registers, or a gateway's block of its shape.
    void answer(const QList<uint16_t> &registers = {})
    {
        const bool service = readAddress(lastSent) == 1000;
        line->inject(readAnswer(1, !registers.isEmpty() ? registers : service ? serviceRegisters() : QList<uint16_t>(100, 7)));
    }
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
        // Each answer is passed on as the next request goes out, nothing having followed it.
        QCOMPARE(rig.delivered, (QList<uint16_t>{1000, 1100, 1200, 0, 100, 200, 300}));
        QCOMPARE(rig.interval(), 500);
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{7, 8, 0, false}));
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
        QCOMPARE(requests, (QList<int>{1000, -1, -1, 1000, -1, -1, 1000, -1, -1, 1000}));
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
        QCOMPARE(Rig::readAddress(rig.tick()), 1000);
        rig.answer();
        QCOMPARE(Rig::readAddress(rig.tick()), 1100);
        QVERIFY(!rig.master.Counters().TimedOut());
    }

    void aCutShortAnswerIsOneFailedAnswerAndTheBlockIsAskedForAgain()
    {
        Rig rig;
        rig.open();
        rig.tick();
        rig.line->inject(readAnswer(1, QList<uint16_t>(100, 7)).left(120));
        int rxFrames = 0;
        rig.master.OnRxFrame = [&](const TFrameBuffer &f) {
            ++rxFrames;
            QCOMPARE(f.Len, uint8_t(120));
        };
        QCOMPARE(rig.tick(), QByteArray()); // the frame had begun: a moment longer
        QCOMPARE(Rig::readAddress(rig.tick()), 1000);
        QCOMPARE(rxFrames, 1);
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 2, 1, false}));
    }

    // A whole answer whose head was damaged on the line is one failed answer: the gateway did
    // answer, so no pause for silence follows, only a quiet line, and the block is asked again.
    void aFullLengthAnswerWithADamagedHeadIsOneFailedAnswer()
    {
        Rig rig;
        rig.open();
        QCOMPARE(Rig::readAddress(rig.tick()), 1000);
        QByteArray answer = readAnswer(1, serviceRegisters());
        answer[2] = char(0xC9); // the byte count
        rig.line->inject(answer);
        // Its time over, the line quiet since: the same block at once, no pause.
        QCOMPARE(Rig::readAddress(rig.tick()), 1000);
        QCOMPARE(rig.master.CycleState(), TModbusKomunikator::Polling);
        QCOMPARE(rig.interval(), 500);
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 2, 1, false}));
    }

    // The service block holds the gateway's port settings, always within their ranges: a block
    // with others (another block's answer taken for it) is refused, and asked for again.
    void aServiceBlockWithSettingsNoGatewayHoldsIsRefused_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("value");
        QTest::newRow("RS-485 address 0") << 1 << 0;
        QTest::newRow("RS-485 address 248") << 1 << 248;
        QTest::newRow("RS-485 speed 9700 Bd") << 2 << 97;
        QTest::newRow("RS-232 address 0") << 3 << 0;
        QTest::newRow("RS-232 speed 0") << 4 << 0;
        QTest::newRow("RS-485 three stop bits") << 5 << 3;
        QTest::newRow("RS-485 parity 3") << 6 << 3;
        QTest::newRow("RS-232 no stop bit") << 7 << 0;
        QTest::newRow("RS-232 parity 0xFFFF") << 8 << 0xFFFF;
    }
    void aServiceBlockWithSettingsNoGatewayHoldsIsRefused()
    {
        QFETCH(int, offset);
        QFETCH(int, value);
        Rig rig;
        rig.open();
        QCOMPARE(Rig::readAddress(rig.tick()), 1000);
        QList<uint16_t> registers = serviceRegisters();
        registers[offset] = uint16_t(value);
        rig.answer(registers);
        QCOMPARE(Rig::readAddress(rig.tick()), 1000);
        QVERIFY(rig.delivered.isEmpty());
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 2, 1, false}));
        rig.answer();
        QCOMPARE(Rig::readAddress(rig.tick()), 1100);
        QCOMPARE(rig.delivered, (QList<uint16_t>{1000}));
    }

    // At every speed the gateway offers and every answer delay it allows, no request goes out
    // while the answer to the last one is still on its way, and where the answer fits in the
    // poll interval the cycle keeps its rhythm. Time is virtual: the test plays the timer.
    void noRequestWhileTheAnswerIsOnItsWay_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("delay");
        for (uint16_t hundreds : TTarvikKomunikator::BaudRateTable)
            for (int delay : {0, 60, 200})
                QTest::addRow("%d Bd, %d ms", hundreds * 100, delay) << hundreds * 100 << delay;
    }
    void noRequestWhileTheAnswerIsOnItsWay()
    {
        QFETCH(int, baud);
        QFETCH(int, delay);
        Rig rig;
        rig.master.SetBaudRate(baud);
        rig.open();
        // The gateway answers after its delay and both frames' time on the line; a USB adapter
        // holds the last bytes back for up to 16 ms.
        const double charMs = double(LineSettings{baud}.charTimeUs()) / 1000.0;
        const double answerTakes = (8 + 205) * charMs + delay + 16;
        const QList<uint16_t> service = serviceRegisters(uint16_t(delay));

        double now = 0;
        double nextTick = rig.interval();
        double answerAt = -1;
        QList<double> sentAt;
        while (sentAt.size() < 8 && now < 100000) {
            if (answerAt >= 0 && answerAt <= nextTick) {
                now = answerAt;
                answerAt = -1;
                const int before = rig.interval();
                rig.answer(service);
                // A changed interval restarts the timer.
                if (rig.interval() != before)
                    nextTick = now + rig.interval();
                continue;
            }
            now = nextTick;
            const QByteArray sent = rig.tick();
            if (Rig::readAddress(sent) >= 0) {
                QVERIFY2(answerAt < 0, qPrintable(QStringLiteral("a request at %1 ms talked over the answer due at %2 ms").arg(now).arg(answerAt)));
                sentAt.append(now);
                answerAt = now + answerTakes;
            }
            nextTick = now + rig.interval();
        }
        QCOMPARE(sentAt.size(), 8);
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{7, 8, 0, false}));
        const int interval = rig.master.PollInterval();
        for (qsizetype i = 1; i < sentAt.size(); ++i) {
            const double spacing = sentAt[i] - sentAt[i - 1];
            if (answerTakes <= interval)
                QCOMPARE(spacing, double(interval));
            else
                QVERIFY2(spacing <= answerTakes + 3 * charMs + 3, qPrintable(QString::number(spacing)));
        }
    }

    // The gateway's delay changed behind the tool's back: the answer comes after its reckoned
    // time, and the tick waits while it is still coming in.
    void anAnswerStillComingInPastItsTimeIsWaitedFor()
    {
        Rig rig;
        rig.master.SetBaudRate(19200);
        rig.open();
        rig.tick();
        rig.answer(serviceRegisters(0)); // no answer delay
        const QByteArray answer = readAnswer(1, QList<uint16_t>(100, 7));
        QCOMPARE(Rig::readAddress(rig.tick()), 1100);
        rig.line->inject(answer.left(60));
        rig.line->inject(answer.mid(60, 60));
        QCOMPARE(rig.tick(), QByteArray());
        rig.line->inject(answer.mid(120, 40));
        QCOMPARE(rig.tick(), QByteArray());
        rig.line->inject(answer.mid(160));
        QCOMPARE(Rig::readAddress(rig.tick()), 1200);
        QCOMPARE(rig.delivered, (QList<uint16_t>{1000, 1100}));
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{2, 3, 0, false}));
    }

    // On a line that can hold arrivals back, the pieces of an answer wait unannounced until both
    // frames can be on the line; then the master takes them together. An exception answer is
    // settled at that moment too, and closing the port ends the wait.
    void piecesOfAnAnswerWaitUntilItCanBeWhole_data()
    {
        QTest::addColumn<qint32>("baud");
        QTest::addColumn<QByteArray>("answer");
        const QByteArray read = readAnswer(1, serviceRegisters());
        const QByteArray refusal = withCrc(hexBytes("01 83 02"));
        QTest::newRow("read @9600") << 9600 << read;
        QTest::newRow("read @115200") << 115200 << read;
        QTest::newRow("exception @9600") << 9600 << refusal;
    }
    void piecesOfAnAnswerWaitUntilItCanBeWhole()
    {
        QFETCH(qint32, baud);
        QFETCH(QByteArray, answer);
        Rig rig;
        rig.line->setCanHoldArrivals(true);
        rig.master.SetBaudRate(baud);
        rig.open();
        QSignalSpy announced(rig.line, &SerialTransport::dataArrived);
        QCOMPARE(Rig::readAddress(rig.tick()), 1000);
        QVERIFY(rig.port.holdingArrivals());
        for (int at = 0; at < answer.size(); at += 7)
            rig.line->inject(answer.mid(at, 7));
        QCoreApplication::processEvents();
        QVERIFY(rig.delivered.isEmpty());
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 1, 0, false}));

        const bool refused = answer.size() == AnswerMatcher::ExceptionLength;
        QVERIFY(QTest::qWaitFor([&] { return !rig.port.holdingArrivals(); }, rig.master.AnswerTimeoutMs()));
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 1, refused ? 1 : 0, false}));
        QCOMPARE(announced.count(), 0);

        // The answer is passed on as the next request goes out.
        rig.tick();
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{refused ? 0 : 1, 2, refused ? 1 : 0, false}));
        QCOMPARE(rig.delivered.size(), refused ? 0 : 1);
        QVERIFY(rig.port.holdingArrivals());
        rig.master.Close();
        QVERIFY(!rig.port.holdingArrivals());
    }

    // Setting a longer delay through the cycle's own writes is allowed for at once.
    void aWrittenAnswerDelayIsAllowedForAtOnce()
    {
        Rig rig;
        rig.master.SetBaudRate(19200);
        rig.open();
        rig.tick();
        rig.answer(serviceRegisters(0));
        rig.tick();
        rig.answer();
        QCOMPARE(rig.master.AnswerDelayMs(), 0);
        QVERIFY(rig.master.QueueWrites({{200, 1053}}));
        rig.tick();
        QCOMPARE(rig.master.AnswerDelayMs(), 200);
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

    // A port lost (or closed) while a read waited for its answer, or during the pause after a
    // timeout: once it opens again the first read goes one poll interval later, with no
    // timeout, pause or repeat owed to the old line.
    void aReadLeftOutstandingAtCloseCostsNothingAfterTheNextOpen_data()
    {
        QTest::addColumn<int>("ticksBeforeClose");
        QTest::newRow("awaiting its answer") << 1;
        QTest::newRow("pausing after a timeout") << 2;
    }
    void aReadLeftOutstandingAtCloseCostsNothingAfterTheNextOpen()
    {
        QFETCH(int, ticksBeforeClose);
        Rig rig;
        rig.open();
        QCOMPARE(Rig::readAddress(rig.tick()), 1000);
        rig.answer();
        QCOMPARE(Rig::readAddress(rig.tick()), 1100);
        for (int i = 1; i < ticksBeforeClose; ++i)
            rig.tick();
        QCOMPARE(rig.master.CycleState(), ticksBeforeClose == 1 ? TModbusKomunikator::Polling : TModbusKomunikator::Pausing);
        rig.master.Close();
        int failures = 0;
        rig.master.OnReadFailed = [&failures](int, TModbusKomunikator::ReadFault) { ++failures; };
        rig.open();
        QCOMPARE(rig.master.CycleState(), TModbusKomunikator::Polling);
        QCOMPARE(rig.interval(), 500);
        QVERIFY(!rig.master.AwaitingAnswer());
        QCOMPARE(Rig::readAddress(rig.tick()), 1000);
        QCOMPARE(failures, 0);
        QCOMPARE(rig.master.Counters().Snapshot(), (TCounterSnapshot{0, 1, 0, false}));
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
