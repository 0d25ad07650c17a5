// Exception answers hidden among the bytes the poll cycle drains after writes: found only
// where every frame before them is whole and has its CRC.
#include "ModbusCrc.h"
#include "ModbusException.h"

#include <QTest>

namespace {
QByteArray frame(const QByteArray &hex)
{
    return ModbusCrc::appended(QByteArray::fromHex(hex));
}
} // namespace

class tst_ModbusException : public QObject
{
    Q_OBJECT
private slots:
    void findsARefusalOnlyInWholeFrames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("function"); // -1: none found
        QTest::addColumn<int>("code");
        const QByteArray echo06 = frame("010603F20005");
        const QByteArray echo16 = frame("011000000004");
        QTest::newRow("a refusal alone") << frame("018603") << 0x06 << 3;
        QTest::newRow("after a single write's echo") << echo06 + frame("019002") << 0x10 << 2;
        QTest::newRow("after a multiple write's echo") << echo16 + frame("018304") << 0x03 << 4;
        QTest::newRow("after a short read answer") << frame("010302006D") + frame("018302") << 0x03 << 2;
        QTest::newRow("echoes only") << echo06 + echo16 << -1 << 0;
        QTest::newRow("a read answer only") << frame("010302006D") << -1 << 0;
        QTest::newRow("refusal with a broken CRC") << QByteArray::fromHex("0186030000") << -1 << 0;
        QTest::newRow("refusal cut short") << frame("018603").left(4) << -1 << 0;
        QTest::newRow("garbage before it") << QByteArray::fromHex("FF") + frame("018603") << -1 << 0;
        QTest::newRow("an echo broken before it") << echo06.left(7) + frame("018603") << -1 << 0;
        QTest::newRow("nothing") << QByteArray() << -1 << 0;
    }

    void findsARefusalOnlyInWholeFrames()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, function);
        QFETCH(int, code);
        const auto found = ModbusException::find(bytes);
        QCOMPARE(found.has_value(), function >= 0);
        if (found) {
            QCOMPARE(int(found->function), function);
            QCOMPARE(int(found->code), code);
        }
    }

    void saysWhatWasRefused()
    {
        QCOMPARE((ModbusException{0x10, 3}.text()), QStringLiteral("Modbus exception 3 (illegal data value) to write multiple registers"));
    }
};

QTEST_GUILESS_MAIN(tst_ModbusException)
#include "tst_ModbusException.moc"
