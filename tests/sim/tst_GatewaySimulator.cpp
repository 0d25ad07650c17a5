// How the simulated gateway takes frames off the line and answers them: garbage, unknown
// functions, foreign addresses, the answer delay and the pacing at line speed, late answers
// and stalls.
#include "FrameBytes.h"
#include "GatewaySimulator.h"
#include "MemoryGatewayLine.h"

#include <QElapsedTimer>
#include <QTest>

#ifdef Q_OS_UNIX
#include "PtyLink.h"

#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

struct Rig
{
    MemoryTransport tool;
    std::unique_ptr<GatewaySimulator> sim;
    QList<QByteArray> arrivals;
    QList<qint64> arrivedMs; // of each arrival, since the rig was made
    QElapsedTimer clock;

    explicit Rig(bool paced = false, GatewaySimulator::Options options = {})
    {
        clock.start();
        tool.open(QStringLiteral("tool"));
        tool.applySettings(LineSettings{9600, TParity::paNone, TStopBits::sbOne});
        options.paced = paced;
        options.clock = false;
        sim = std::make_unique<GatewaySimulator>(std::make_unique<MemoryGatewayLine>(&tool), options);
        QObject::connect(&tool, &SerialTransport::dataArrived, [this] {
            QByteArray bytes(int(tool.bytesWaiting()), '\0');
            tool.read(bytes.data(), bytes.size());
            arrivals.append(bytes);
            arrivedMs.append(clock.elapsed());
        });
    }
    void send(const QByteArray &bytes) { tool.write(bytes.constData(), bytes.size()); }
    QByteArray received() const { return arrivals.join(); }
    // Waits until count bytes have arrived, or ms passed.
    bool waitFor(int count, int ms = 1000)
    {
        return QTest::qWaitFor([&] { return received().size() >= count; }, ms);
    }
    // When the count-th byte arrived (-1: not yet).
    qint64 msAt(int count) const
    {
        for (int i = 0, got = 0; i < arrivals.size(); ++i)
            if ((got += int(arrivals[i].size())) >= count)
                return arrivedMs[i];
        return -1;
    }
};

// Three answers of different kinds: a read, a write, an exception (register 2000 is not there).
const QByteArray kRead = withCrc(hexBytes("01 03 03 E8 00 01"));
const QByteArray kReadAnswer = withCrc(hexBytes("01 03 02 00 6D"));
const QByteArray kWrite = withCrc(hexBytes("01 06 04 1F 00 02"));
const QByteArray kBadRead = withCrc(hexBytes("01 03 07 D0 00 01"));
const QByteArray kBadReadAnswer = withCrc(hexBytes("01 83 02"));

} // namespace

class tst_GatewaySimulator : public QObject
{
    Q_OBJECT
private slots:
    void garbageIsDroppedAndTheNextRequestAnswered()
    {
        Rig rig;
        rig.send(hexBytes("FF 55 00 13"));
        QTest::qWait(60); // the line goes quiet: the garbage was one broken frame
        QCOMPARE(rig.received(), QByteArray());
        rig.send(withCrc(hexBytes("01 03 03 E8 00 01")));
        QVERIFY(rig.waitFor(7));
        QCOMPARE(rig.received(), withCrc(hexBytes("01 03 02 00 6D")));
        QCOMPARE(rig.sim->stats().broken, 1);
    }

    void unknownFunctionGetsExceptionOneWhenTheLineGoesQuiet()
    {
        Rig rig;
        rig.send(withCrc(hexBytes("01 2B 0E 01 00")));
        QVERIFY(rig.waitFor(5));
        QCOMPARE(rig.received(), withCrc(hexBytes("01 AB 01")));
    }

    void requestForAnotherSlaveIsIgnored()
    {
        Rig rig;
        rig.send(withCrc(hexBytes("05 03 00 00 00 64")));
        rig.send(withCrc(hexBytes("01 06 04 1F 00 02")));
        QVERIFY(rig.waitFor(8));
        QCOMPARE(rig.received(), withCrc(hexBytes("01 06 04 1F 00 02")));
    }

    void requestSplitIntoPiecesIsPutTogether()
    {
        Rig rig;
        const QByteArray request = withCrc(hexBytes("01 10 04 1D 00 02 04 00 0A 00 14"));
        for (char c : request) {
            rig.send(QByteArray(1, c));
            QCoreApplication::processEvents();
        }
        QVERIFY(rig.waitFor(8));
        QCOMPARE(rig.sim->model().reg(1053), uint16_t(10));
        QCOMPARE(rig.sim->model().reg(1054), uint16_t(20));
    }

    void longAnswerIsPacedAtTheLineSpeed()
    {
        Rig rig(true);
        QElapsedTimer clock;
        clock.start();
        rig.send(withCrc(hexBytes("01 03 00 00 00 64")));
        QVERIFY(rig.waitFor(205, 2000));
        // 205 characters of 10 bits at 9600 Bd take 213 ms; they cannot come sooner, and they
        // come in several pieces.
        QVERIFY2(clock.elapsed() >= 200, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(rig.arrivals.size() > 3);
        QCOMPARE(rig.received().size(), 205);
    }

    void answerWaitsForTheAnswerDelay()
    {
        Rig rig;
        rig.sim->model().writeSingle(1053, 150);
        QElapsedTimer clock;
        clock.start();
        rig.send(withCrc(hexBytes("01 03 03 E8 00 01")));
        QVERIFY(rig.waitFor(7));
        // A timer may round its wake-up to the millisecond: allow a few ms of slack.
        QVERIFY2(clock.elapsed() >= 145, qPrintable(QString::number(clock.elapsed())));
    }

    void otherLineSettingsGetNoAnswer()
    {
        Rig rig;
        rig.tool.applySettings(LineSettings{9600, TParity::paEven, TStopBits::sbOne});
        rig.send(withCrc(hexBytes("01 03 03 E8 00 01")));
        QTest::qWait(50);
        QCOMPARE(rig.received(), QByteArray());
        QCOMPARE(rig.sim->stats().wrongSettings, 1);
    }

    // A late first answer, or a stall while the requests come: nothing for 300 ms, then the
    // three answers in request order, one right after the other.
    void answersWaitInRequestOrder_data()
    {
        QTest::addColumn<bool>("paced");
        QTest::addColumn<QString>("cause");
        QTest::newRow("late, unpaced") << false << "late";
        QTest::newRow("late, paced") << true << "late";
        QTest::newRow("stall()") << true << "stall";
        QTest::newRow("stall every 600 ms") << true << "every";
    }
    void answersWaitInRequestOrder()
    {
        QFETCH(bool, paced);
        QFETCH(QString, cause);
        Rig rig(paced, {.stallMs = cause == "every" ? 300 : 0, .stallEveryMs = 600});
        rig.sim->faults().setRates({.late = cause == "late" ? 1.0 : 0, .lateMs = 300});
        qint64 began = rig.clock.elapsed();
        rig.sim->OnStall = [&](int) { began = rig.clock.elapsed(); };
        if (cause == "stall")
            rig.sim->stall(300);
        QVERIFY(QTest::qWaitFor([&] { return cause == "late" || rig.sim->stalled(); }, 2000));
        rig.send(kRead);
        QVERIFY(QTest::qWaitFor([&] { return rig.sim->stats().frames == 1 || rig.sim->stalled(); }, 1000));
        rig.sim->faults().setRates({}); // only the first answer is late
        rig.send(kWrite);
        rig.send(kBadRead);
        const QByteArray all = kReadAnswer + kWrite + kBadReadAnswer;
        QVERIFY(rig.waitFor(int(all.size()), 2000));
        QCOMPARE(rig.received(), all);
        QCOMPARE(rig.sim->faults().counts().late + rig.sim->stats().stalls, 1);
        const qint64 first = rig.msAt(1), last = rig.msAt(int(all.size()));
        QVERIFY2(first - began >= 295 && last - first < 150, qPrintable(QStringLiteral("%1 %2").arg(first - began).arg(last - first)));
    }

    // Late answers mixed with other faults come out the same for the same seed: the bytes, the
    // pieces they arrive in and the counts.
    void lateAnswersRepeatWithTheSeed()
    {
        const auto run = [](quint32 seed) {
            Rig rig(false, {.seed = seed});
            rig.sim->faults().setRates({.drop = 0.1, .corrupt = 0.2, .split = 0.3, .late = 0.3, .lateMs = 10});
            for (int i = 0; i < 40; ++i)
                rig.send(i % 3 ? kRead : kWrite);
            QTest::qWaitFor([&] { return rig.sim->stats().frames == 40 && !rig.sim->busy(); }, 3000);
            QTest::qWait(10); // the last write's arrival
            const FaultInjector::Counts &c = rig.sim->faults().counts();
            return std::tuple(rig.arrivals, c.late, c.dropped, c.corrupted);
        };
        const auto one = run(7);
        QVERIFY(std::get<1>(one) > 3 && std::get<2>(one) > 0 && std::get<3>(one) > 0);
        QVERIFY(run(7) == one);
        QVERIFY(run(8) != one);
    }

#ifdef Q_OS_UNIX
    // Answers nobody reads fill the terminal; what does not fit is lost, as on a real line,
    // instead of the simulator waiting for room (and ignoring SIGTERM) for ever. What fitted
    // arrives unchanged, and once read the line carries whole frames again.
    void aLineNobodyReadsLosesWhatDoesNotFit()
    {
        PtyLink link;
        QByteArray bytes(256 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 % 251);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(link.write(bytes));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(link.droppedBytes() > 0);

        const int tool = ::open(link.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(tool >= 0);
        const auto readAll = [tool] {
            QByteArray got;
            char buffer[4096];
            for (int idle = 0; idle < 5;) {
                const ssize_t n = ::read(tool, buffer, sizeof buffer);
                if (n > 0) {
                    got.append(buffer, n);
                    idle = 0;
                } else {
                    ++idle;
                    QTest::qWait(20);
                }
            }
            return got;
        };
        const QByteArray got = readAll();
        QCOMPARE(got.size() + link.droppedBytes(), bytes.size());
        QVERIFY(got == bytes.left(got.size()));
        const QByteArray frame = withCrc(hexBytes("01 03 02 00 2A"));
        QVERIFY(link.write(frame));
        QCOMPARE(readAll(), frame);
        ::close(tool);
    }
#endif
};

QTEST_GUILESS_MAIN(tst_GatewaySimulator)
#include "tst_GatewaySimulator.moc"
