// How the simulated gateway takes frames off the line and answers them: garbage, unknown
// functions, foreign addresses, the answer delay and the pacing at line speed.
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

    explicit Rig(bool paced = false)
    {
        tool.open(QStringLiteral("tool"));
        tool.applySettings(LineSettings{9600, TParity::paNone, TStopBits::sbOne});
        GatewaySimulator::Options options;
        options.paced = paced;
        options.clock = false;
        sim = std::make_unique<GatewaySimulator>(std::make_unique<MemoryGatewayLine>(&tool), options);
        QObject::connect(&tool, &SerialTransport::dataArrived, [this] {
            QByteArray bytes(int(tool.bytesWaiting()), '\0');
            tool.read(bytes.data(), bytes.size());
            arrivals.append(bytes);
        });
    }
    void send(const QByteArray &bytes) { tool.write(bytes.constData(), bytes.size()); }
    QByteArray received() const { return arrivals.join(); }
    // Waits until count bytes have arrived, or ms passed.
    bool waitFor(int count, int ms = 1000)
    {
        return QTest::qWaitFor([&] { return received().size() >= count; }, ms);
    }
};

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
