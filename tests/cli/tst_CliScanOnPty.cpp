// scan against the simulated gateway at an unusual speed and address: it is found, the
// addresses are asked in turn at each speed, and once something answered only its speed is
// tried further.
#include "CliProcess.h"
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
        // Addresses 15 and 16 at 9600 and 19200 Bd, 17 at 9600 Bd; 18 only at 38400 Bd.
        QCOMPARE(gw.sim->stats().wrongSettings, 5);
        QCOMPARE(gw.sim->stats().answered, 1);
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
