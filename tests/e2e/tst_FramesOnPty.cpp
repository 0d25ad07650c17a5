// The requests the master builds, read byte for byte from the far end of a pseudo-terminal.
#include "FrameBytes.h"
#include "PtyPair.h"
#include "ScriptedPrompts.h"
#include "TModbusKomunikator.h"

#include <QTest>

namespace {
struct Rig
{
    PtyPair pty;
    TAfComPort port;
    TModbusKomunikator master{&port};
    Rig()
    {
        port.setObjectName(QStringLiteral("AfComPort1"));
        master.SetBaudRate(9600);
        master.Open(pty.path());
        master.PollTimer().stop(); // requests are made by the test
    }
};
} // namespace

class tst_FramesOnPty : public QObject
{
    Q_OBJECT
private slots:
    void readRequestsAreExact_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("block 0") << 0 << hexBytes("01 03 00 00 00 64 44 21");
        QTest::newRow("block 1000") << 1000 << hexBytes("01 03 03 E8 00 64 C4 51");
    }
    void readRequestsAreExact()
    {
        QFETCH(int, address);
        QFETCH(QByteArray, wire);
        Rig rig;
        rig.master.ReadBlock(uint16_t(address));
        QCOMPARE(rig.pty.readExactly(int(wire.size())), wire);
        QCOMPARE(rig.pty.readFor(50), QByteArray());
    }

    void writeRegisterIsExactAndHeldBackInTimeout()
    {
        Rig rig;
        rig.master.WriteRegister(0x05FF, 1010);
        QCOMPARE(rig.pty.readExactly(8), hexBytes("01 06 03 F2 05 FF 6B 6D"));

        rig.master.ReadBlock(0);
        rig.master.ReadBlock(0); // unanswered: the link is now in timeout
        QCOMPARE(rig.pty.readExactly(16).size(), 16);
        rig.master.WriteRegister(0x05FF, 1010);
        QCOMPARE(rig.pty.readFor(100), QByteArray());
    }

    void writeRegistersOfFourWordsIsExact()
    {
        Rig rig;
        rig.master.WriteRegisters({0, 0, 0, 0}, 10);
        const QByteArray wire = rig.pty.readExactly(17);
        QCOMPARE(wire, hexBytes("01 10 00 0A 00 04 08 00 00 00 00 00 00 00 00 AE 62"));
        QCOMPARE(uint8_t(wire[6]), uint8_t(8));
    }

    void slaveAddressLeadsEveryRequest()
    {
        Rig rig;
        rig.master.setSlaveAddress(247);
        rig.master.ReadBlock(0);
        rig.master.WriteRegister(1, 2);
        const QByteArray wire = rig.pty.readExactly(16);
        QCOMPARE(uint8_t(wire[0]), uint8_t(247));
        QCOMPARE(uint8_t(wire[8]), uint8_t(247));
        QCOMPARE(wire.mid(8), withCrc(hexBytes("F7 06 00 02 00 01")));
    }
};

QTEST_GUILESS_MAIN(tst_FramesOnPty)
#include "tst_FramesOnPty.moc"
