// scan against the simulated gateway at an unusual speed and address: it is found, the
// addresses are asked in turn at each speed, and once something answered only its speed is
// tried further. A gateway slow to answer is found at its own speed only: its answer is waited
// for, and an answer that came late to another speed's probe is not confirmed by a second read.
#include "CliProcess.h"
#include "RegisterMap.h"
#include "SimOnPty.h"

#include <QTest>

class tst_CliScanOnPty : public QObject
{
    Q_OBJECT
private slots:
    void findsTheGatewayAt38400BdAndAddress17()
    {
        GatewaySimulator::Options options = SimOnPty::defaults();
        options.line.baudRate = 38400;
        options.address = 17;
        SimOnPty gw(options);
        // --timeout leaves the in-process simulator time to answer on a busy machine.
        const auto r = CliProcess::run({"--port", gw.link, "--timeout", "250", "scan", "--bauds", "9600,38400,19200", "--addresses", "15-18"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("38400 Bd, address 17: Gateway FW version: V1.09\n"));
        QVERIFY2(r.err.contains(QStringLiteral("9 speed and address pairs tried")), qPrintable(r.err));
        // Addresses 15 and 16 at 9600 and 19200 Bd, 17 at 9600 Bd; 18 only at 38400 Bd, twice.
        QCOMPARE(gw.sim->stats().wrongSettings, 5);
        QCOMPARE(gw.sim->stats().answered, 2);
    }

    // Set to answer late at 9600 Bd: found there only; with too short a wait its answer falls
    // into a probe at another speed, which a second read does not confirm.
    void aSlowGatewayIsFoundAtItsOwnSpeedOnly_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<QStringList>("timeout");
        QTest::addColumn<bool>("found");
        QTest::newRow("60 ms answer delay") << 60 << QStringList() << true;
        QTest::newRow("200 ms answer delay") << 200 << QStringList() << true;
        QTest::newRow("200 ms delay, 50 ms wait") << 200 << QStringList{"--timeout", "50"} << false;
    }
    void aSlowGatewayIsFoundAtItsOwnSpeedOnly()
    {
        QFETCH(int, delayMs);
        QFETCH(QStringList, timeout);
        QFETCH(bool, found);
        SimOnPty gw({.address = 2, .line = {.baudRate = 9600}, .paced = false, .clock = false});
        gw.model().writeSingle(ServiceRegs::Com0Delay, uint16_t(delayMs));
        const auto r = CliProcess::run(QStringList{"--port", gw.link} + timeout
                                       + QStringList{"scan", "--bauds", "9600,19200,115200,38400,4800", "--addresses", "2"});
        QCOMPARE(r.out, found ? QStringLiteral("9600 Bd, address 2: Gateway FW version: V1.09\n") : QString());
        QCOMPARE(r.exitCode, found ? 0 : 1);
        QVERIFY2(r.err.contains(QStringLiteral("%1 speed and address pairs tried").arg(found ? 1 : 5)), qPrintable(r.err));
        QCOMPARE(gw.sim->stats().answered, found ? 2 : 1);
    }

    void nothingAnsweringIsAFailure()
    {
        SimOnPty gw; // at 115200 Bd
        const auto r = CliProcess::run({"--port", gw.link, "--timeout", "50", "scan", "--bauds", "9600", "--addresses", "1-3"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.endsWith(QStringLiteral("tarvik-cli: No gateway answered.\n")), qPrintable(r.err));
        QVERIFY(r.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_CliScanOnPty)
#include "tst_CliScanOnPty.moc"
