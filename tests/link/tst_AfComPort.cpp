// The serial port component against a fake line: settings, failures and their texts, the
// repeated data-received event and a vanishing device.
#include "TestHelpers.h"
#include "ErrorGuard.h"
#include "MemoryTransport.h"
#include "PortNames.h"
#include "TAfComPort.h"

#include <QTest>

namespace {

struct FakePort
{
    MemoryTransport *line = new MemoryTransport;
    TAfComPort port{std::unique_ptr<SerialTransport>(line)};
    FakePort() { port.setObjectName(QStringLiteral("AfComPort1")); }
};

} // namespace

class tst_AfComPort : public QObject
{
    Q_OBJECT
private slots:
    void settingsChangedWhileOpenReachTheLine()
    {
        FakePort f;
        f.port.setPortName(QStringLiteral("/dev/ttyUSB0"));
        f.port.setUserBaudRate(19200);
        f.port.open();
        QCOMPARE(f.line->settings().baudRate, 19200);
        f.port.setParity(TParity::paEven);
        f.port.setStopBits(TStopBits::sbTwo);
        f.port.setUserBaudRate(2400);
        QCOMPARE(f.line->settings(), (LineSettings{2400, TParity::paEven, TStopBits::sbTwo}));
    }

    void refusedSettingRaisesAndKeepsThePreviousOne()
    {
        FakePort f;
        f.port.setPortName(QStringLiteral("/dev/ttyUSB0"));
        f.port.open();
        f.line->refuseParity(TParity::paOdd);
        f.line->refuseBaudRate(128000);
        QCOMPARE(comPortErrorText([&] { f.port.setParity(TParity::paOdd); }),
                 QStringLiteral("Error setting parameters from DCB - AfComPort1 "));
        QCOMPARE(comPortErrorText([&] { f.port.setUserBaudRate(128000); }),
                 QStringLiteral("Error setting parameters from DCB - AfComPort1 "));
        QCOMPARE(f.port.parity(), TParity::paNone);
        QCOMPARE(f.port.UserBaudRate(), 115200);
        QCOMPARE(f.line->settings(), LineSettings{});
        QVERIFY(f.port.isActive());
    }

    void openFailuresNameThePort_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("text");
        using R = SerialTransport::OpenResult;
        QTest::newRow("missing device") << "/dev/ttyUSB7" << int(R::NotFound)
                                        << "Invalid port number (/dev/ttyUSB7) - AfComPort1 ";
        QTest::newRow("port in use") << "/dev/ttyUSB7" << int(R::Busy)
                                     << "Can't open device /dev/ttyUSB7 (the port is in use by another program) - AfComPort1 ";
        QTest::newRow("other failure") << "COM4" << int(R::Failed)
                                       << "Can't open device COM4 - AfComPort1 ";
        QTest::newRow("COM 0") << "COM0" << int(R::Ok) << "Invalid port number (COM0) - AfComPort1 ";
        QTest::newRow("no port chosen") << "" << int(R::Ok) << "Invalid port number (COM0) - AfComPort1 ";
    }
    void openFailuresNameThePort()
    {
        QFETCH(QString, name);
        QFETCH(int, result);
        QFETCH(QString, text);
        FakePort f;
        f.line->setOpenResult(SerialTransport::OpenResult(result));
        f.port.setPortName(name);
        QCOMPARE(comPortErrorText([&] { f.port.open(); }), text);
        QVERIFY(!f.port.isActive());
    }

    void forbiddenPortSaysHowToGetAccess()
    {
        FakePort f;
        f.line->setOpenResult(SerialTransport::OpenResult::NoAccess);
        f.port.setPortName(QStringLiteral("/dev/ttyS0"));
        const QString text = comPortErrorText([&] { f.port.open(); });
        QVERIFY2(text.startsWith(QLatin1String("Can't open device /dev/ttyS0")), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("dialout")), qPrintable(text));
        QVERIFY(text.endsWith(QLatin1String(" - AfComPort1 ")));
    }

    void settingsRefusedAtOpenLeaveThePortClosed()
    {
        FakePort f;
        f.line->refuseBaudRate(115200);
        f.port.setPortName(QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(comPortErrorText([&] { f.port.open(); }),
                 QStringLiteral("Error setting parameters from DCB - AfComPort1 "));
        QVERIFY(!f.port.isActive());
    }

    void writeBeyondTheOutputBufferIsRefused()
    {
        FakePort f;
        f.port.setPortName(QStringLiteral("/dev/ttyUSB0"));
        f.port.open();
        f.line->setPendingWrite(TAfComPort::OutBufSize - 8);
        const char bytes[10] = {};
        QCOMPARE(comPortErrorText([&] { f.port.write(bytes, 10); }),
                 QStringLiteral("Write data error [requested: 10, free: 8] - AfComPort1 "));
        QVERIFY(f.line->takeWritten().isEmpty());
        f.port.write(bytes, 8);
        QCOMPARE(f.line->takeWritten().size(), 8);
    }

    void shortReadRaisesReadDataError()
    {
        FakePort f;
        f.port.setPortName(QStringLiteral("/dev/ttyUSB0"));
        f.port.open();
        f.line->inject("abc");
        char buffer[8];
        QCOMPARE(comPortErrorText([&] { f.port.read(buffer, 5); }),
                 QStringLiteral("Read data error - AfComPort1 "));
    }

    void dataEventRepeatsWhileBytesStayUnread()
    {
        FakePort f;
        f.port.setPortName(QStringLiteral("/dev/ttyUSB0"));
        f.port.open();
        QList<int> counts;
        f.port.OnDataRecived = [&](TAfComPort *sender, int count) {
            QCOMPARE(sender, &f.port);
            counts.append(count);
        };
        f.line->inject("1234567");
        QCOMPARE(counts, QList<int>{7});
        QVERIFY(f.port.repeatTimerActive());
        f.port.repeatTimerTick();
        f.port.repeatTimerTick();
        QCOMPARE(counts, (QList<int>{7, 7, 7}));

        // Once the bytes are read the repetition stops.
        f.port.OnDataRecived = [&](TAfComPort *sender, int count) {
            char buffer[16];
            sender->read(buffer, count);
        };
        f.port.repeatTimerTick();
        QVERIFY(!f.port.repeatTimerActive());
    }

    void exceptionInTheDataHandlerGoesToTheErrorHandler()
    {
        FakePort f;
        f.port.setPortName(QStringLiteral("/dev/ttyUSB0"));
        f.port.open();
        QStringList reported;
        ErrorGuard::setHandler([&](const QString &m) { reported.append(m); });
        f.port.OnDataRecived = [](TAfComPort *sender, int count) {
            char buffer[16];
            sender->read(buffer, count + 1);
        };
        f.line->inject("12");
        ErrorGuard::setHandler({});
        QCOMPARE(reported, QStringList{QStringLiteral("Read data error - AfComPort1 ")});
    }

    void vanishingDeviceClosesThePortOnce()
    {
        FakePort f;
        f.port.setPortName(QStringLiteral("/dev/ttyUSB0"));
        f.port.open();
        QStringList closes;
        f.port.OnClosed = [&](TAfComPort *, const QString &reason) { closes.append(reason); };
        f.line->loseDevice(QStringLiteral("gone"));
        f.line->loseDevice(QStringLiteral("gone again"));
        QCOMPARE(closes, QStringList{QStringLiteral("gone")});
        QVERIFY(!f.port.isActive());
        // It opens again once the device is back.
        f.port.open();
        QVERIFY(f.port.isActive());
    }

    void changingThePortWhileOpenReopensOnTheNewOne()
    {
        FakePort f;
        f.port.setPortName(QStringLiteral("/dev/ttyUSB0"));
        f.port.open();
        f.port.setComNumber(12);
        QVERIFY(f.port.isActive());
        QCOMPARE(f.port.ComNumber(), 12);
        QCOMPARE(f.line->portName(), QStringLiteral("COM12"));
    }

    void portNamesFollowTheSystemsConventions()
    {
        QCOMPARE(PortNames::windowsDevicePath(12), QStringLiteral("\\\\.\\COM12"));
        QCOMPARE(PortNames::windowsDevicePath(9), QStringLiteral("COM9"));
        QCOMPARE(PortNames::displayName(QStringLiteral("COM3")), QStringLiteral("COM 3"));
        QCOMPARE(PortNames::displayName(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(PortNames::comNumberOf(QStringLiteral("com200")), 200);
        QCOMPARE(PortNames::comNumberOf(QStringLiteral("/dev/ttyS1")), 0);
    }
};

QTEST_GUILESS_MAIN(tst_AfComPort)
#include "tst_AfComPort.moc"
