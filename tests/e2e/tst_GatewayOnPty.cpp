// The tool's link (QSerialPort, communicator, gateway operations) against the simulated
// gateway on a pseudo-terminal, with real timers and answers paced at the line speed.
#include "SimOnPty.h"
#include "TTarvikKomunikator.h"

#include <QMap>
#include <QTest>

namespace {

struct Rig
{
    SimOnPty sim;
    TAfComPort port;
    TTarvikKomunikator gw{&port};
    QMap<uint16_t, std::array<uint16_t, 100>> blocks;
    int deliveries = 0;

    explicit Rig(int simBaud) : sim({.line = {.baudRate = simBaud}, .clock = false})
    {
        port.setObjectName(QStringLiteral("AfComPort1"));
        gw.OnBlockReceived = [this] {
            std::array<uint16_t, 100> regs{};
            gw.GetRegisters(regs);
            blocks[gw.GetBlockAddress()] = regs;
            ++deliveries;
        };
    }
    void connect(int toolBaud)
    {
        gw.SetBaudRate(toolBaud);
        gw.Open(sim.link);
    }
    std::array<uint16_t, 100> modelBlock(uint16_t start)
    {
        QList<uint16_t> regs;
        sim->model().read(start, 100, regs);
        std::array<uint16_t, 100> out{};
        std::copy(regs.begin(), regs.end(), out.begin());
        return out;
    }
};

} // namespace

class tst_GatewayOnPty : public QObject
{
    Q_OBJECT
private slots:
    void fullCycleDeliversAllSevenBlocks()
    {
        Rig rig(38400);
        rig.connect(38400);
        QVERIFY(QTest::qWaitFor([&] { return rig.blocks.size() == 7; }, 6000));
        for (uint16_t start : PollBlocks)
            QCOMPARE(rig.blocks[start], rig.modelBlock(start));
        QCOMPARE(rig.blocks[1000][0], uint16_t(109));
        const TCounterSnapshot c = rig.gw.Counters().Snapshot();
        QCOMPARE(c.Err, 0);
        QVERIFY(c.Rx >= 7);
    }

    void longAnswerAtNineThousandSixHundredArrivesInParts()
    {
        Rig rig(9600);
        QList<int> arrivals;
        rig.gw.OnRxFrame = [&](const TFrameBuffer &f) { arrivals.append(f.Len); };
        rig.connect(9600);
        QVERIFY(QTest::qWaitFor([&] { return rig.deliveries >= 2; }, 4000));
        QCOMPARE(rig.gw.Counters().Err(), 0);
        // Only whole answers are read, although they arrive in parts.
        QVERIFY(!arrivals.isEmpty());
        for (int len : arrivals)
            QCOMPARE(len, 205);
    }

    void queuedCommandChangesTheGatewayAndTheNextReadShowsIt()
    {
        Rig rig(38400);
        rig.connect(38400);
        QVERIFY(QTest::qWaitFor([&] { return rig.blocks.contains(0); }, 4000));
        QCOMPARE(rig.blocks[0][9] & 0xFF, 0); // channel 1 assigned and OK

        rig.gw.FindNew(0);
        QVERIFY(QTest::qWaitFor([&] { return rig.blocks[1000][11] == 0xFFFF; }, 4000));
        QCOMPARE(rig.blocks[1000][10], uint16_t(0x05FF));
        QCOMPARE(rig.blocks[1000][12] >> 8, 0x28);

        rig.gw.DeletePosition(1);
        QVERIFY(QTest::qWaitFor([&] { return (rig.blocks[0][9] & 0xFF) == 255; }, 4000));
        QVERIFY(!rig.sim->model().assigned(1));
    }

    void romCodeWriteReachesTheGatewayAtOnce()
    {
        Rig rig(38400);
        rig.connect(38400);
        QVERIFY(QTest::qWaitFor([&] { return rig.deliveries >= 1; }, 4000));
        rig.gw.WriteRomCode({0x28FF, 0x15E2, 0x6016, 0x0574}, 40);
        QVERIFY(QTest::qWaitFor([&] { return rig.sim->model().assigned(40).has_value(); }, 2000));
        QCOMPARE(*rig.sim->model().assigned(40), (std::array<uint16_t, 4>{0x28FF, 0x15E2, 0x6016, 0x0574}));
        QVERIFY(QTest::qWaitFor([&] { return rig.blocks[300][90] == 0x28FF; }, 4000));
    }

    void wrongSpeedGetsNoAnswerAndShowsAsTimeouts()
    {
        Rig rig(9600);
        rig.connect(19200);
        QTest::qWait(2200);
        const TCounterSnapshot c = rig.gw.Counters().Snapshot();
        QCOMPARE(c.Rx, 0);
        QVERIFY(c.Err >= 1);
        QVERIFY(c.Timeout);
        QVERIFY(rig.sim->stats().wrongSettings >= 2);
        QCOMPARE(rig.deliveries, 0);
    }
};

QTEST_GUILESS_MAIN(tst_GatewayOnPty)
#include "tst_GatewayOnPty.moc"
