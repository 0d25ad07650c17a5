// The real serial port component (QSerialPort) on a pseudo-terminal.
#include "TestHelpers.h"
#include "PtyPair.h"
#include "TAfComPort.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

namespace {
struct Rig
{
    PtyPair pty;
    TAfComPort port;
    Rig()
    {
        port.setObjectName(QStringLiteral("AfComPort1"));
        port.setPortName(pty.path());
    }
};
} // namespace

class tst_AfComPortOnPty : public QObject
{
    Q_OBJECT
private slots:
    void opensClosesAndOpensAgain()
    {
        Rig rig;
        rig.port.setUserBaudRate(9600);
        rig.port.open();
        QVERIFY(rig.port.isActive());
        QCOMPARE(rig.pty.link().lineSettings().baudRate, 9600);
        rig.port.close();
        QVERIFY(!rig.port.isActive());
        QCOMPARE(rig.port.bytesWaiting(), 0);
        rig.port.open();
        QVERIFY(rig.port.isActive());
    }

    void speedAndStopBitsChangeWhileOpen()
    {
        Rig rig;
        rig.port.open();
        rig.port.setUserBaudRate(19200);
        QCOMPARE(rig.pty.link().lineSettings().baudRate, 19200);
        rig.port.setUserBaudRate(56000); // outside the classic rate table
        QCOMPARE(rig.pty.link().lineSettings().baudRate, 56000);
        rig.port.setStopBits(TStopBits::sbTwo);
        QCOMPARE(rig.pty.link().lineSettings().stopBits, TStopBits::sbTwo);
        rig.port.setStopBits(TStopBits::sbOne);
        QCOMPARE(rig.pty.link().lineSettings().stopBits, TStopBits::sbOne);
    }

    void dataEventCarriesTheWaitingCount()
    {
        Rig rig;
        rig.port.open();
        QList<int> counts;
        rig.port.OnDataRecived = [&](TAfComPort *, int count) {
            counts.append(count);
            QByteArray buffer(count, '\0');
            rig.port.read(buffer.data(), count);
        };
        rig.pty.write("hello");
        QVERIFY(QTest::qWaitFor([&] { return !counts.isEmpty(); }, 2000));
        QCOMPARE(counts.first(), 5);
    }

    void dataEventRepeatsAboutEvery200msForUnreadBytes()
    {
        Rig rig;
        rig.port.open();
        QList<qint64> times;
        QList<int> counts;
        QElapsedTimer clock;
        clock.start();
        rig.port.OnDataRecived = [&](TAfComPort *, int count) {
            times.append(clock.elapsed());
            counts.append(count);
        };
        rig.pty.write("1234567");
        QTest::qWait(1100);
        QVERIFY2(counts.size() >= 4 && counts.size() <= 7, qPrintable(QString::number(counts.size())));
        QCOMPARE(counts, QList<int>(counts.size(), 7));
        for (int i = 2; i < times.size(); ++i) {
            const qint64 gap = times[i] - times[i - 1];
            QVERIFY2(gap >= 150 && gap <= 450, qPrintable(QString::number(gap)));
        }
    }

    void shortReadRaisesReadDataError()
    {
        Rig rig;
        rig.port.open();
        rig.pty.write("abc");
        QVERIFY(QTest::qWaitFor([&] { return rig.port.bytesWaiting() == 3; }, 2000));
        char buffer[8];
        QCOMPARE(comPortErrorText([&] { rig.port.read(buffer, 5); }),
                 QStringLiteral("Read data error - AfComPort1 "));
    }

    void farEndClosedUnderAnOpenPortClosesItOnce()
    {
        Rig rig;
        rig.port.open();
        int closes = 0;
        rig.port.OnClosed = [&](TAfComPort *sender, const QString &) {
            QCOMPARE(sender, &rig.port);
            ++closes;
        };
        rig.pty.closeFarEnd();
        QVERIFY(QTest::qWaitFor([&] { return closes > 0; }, 3000));
        QTest::qWait(300);
        QCOMPARE(closes, 1);
        QVERIFY(!rig.port.isActive());
    }

    void missingPortIsAnInvalidPortNumber()
    {
        QTemporaryDir dir;
        TAfComPort port;
        port.setObjectName(QStringLiteral("AfComPort1"));
        const QString missing = dir.filePath(QStringLiteral("ttyNone"));
        port.setPortName(missing);
        QCOMPARE(comPortErrorText([&] { port.open(); }),
                 QStringLiteral("Invalid port number (%1) - AfComPort1 ").arg(missing));
        QVERIFY(!port.isActive());
    }

    void portOpenElsewhereCannotBeOpened()
    {
        Rig rig;
        rig.port.open();
        TAfComPort second;
        second.setObjectName(QStringLiteral("AfComPort2"));
        second.setPortName(rig.pty.path());
        QCOMPARE(comPortErrorText([&] { second.open(); }),
                 QStringLiteral("Can't open device %1 (the port is in use by another program) - AfComPort2 ")
                     .arg(rig.pty.path()));
        QVERIFY(rig.port.isActive());
    }
};

QTEST_GUILESS_MAIN(tst_AfComPortOnPty)
#include "tst_AfComPortOnPty.moc"
