#include "ModbusCrc.h"

#include <QRandomGenerator>
#include <QTest>

namespace {
// The CRC computed bit by bit, as the Modbus protocol defines it: the reference the table
// form must agree with.
uint16_t bitwiseCrc(const QByteArray &bytes)
{
    uint16_t crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= uint8_t(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

uint16_t tableCrc(const QByteArray &bytes)
{
    return ModbusCrc::compute(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
}
} // namespace

class tst_ModbusCrc : public QObject
{
    Q_OBJECT
private slots:
    void crcGoesOnTheWireLowByteFirst_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::newRow("check value 123456789") << QByteArray("123456789") << 0x37 << 0x4B;
        QTest::newRow("no bytes") << QByteArray() << 0xFF << 0xFF;
        QTest::newRow("read block 0") << QByteArray::fromHex("010300000064") << 0x44 << 0x21;
        QTest::newRow("write 1010") << QByteArray::fromHex("010603F205FF") << 0x6B << 0x6D;
    }
    void crcGoesOnTheWireLowByteFirst()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, first);
        QFETCH(int, second);
        const uint16_t crc = tableCrc(bytes);
        QCOMPARE(ModbusCrc::lowByte(crc), uint8_t(first));
        QCOMPARE(ModbusCrc::highByte(crc), uint8_t(second));
    }

    void tableAndBitwiseFormsAgreeOnRandomData()
    {
        QRandomGenerator rng(20261208);
        for (int round = 0; round < 2000; ++round) {
            QByteArray bytes(int(rng.bounded(0, 260)), Qt::Uninitialized);
            for (char &c : bytes)
                c = char(rng.bounded(256));
            QCOMPARE(tableCrc(bytes), bitwiseCrc(bytes));
        }
    }

    void aFrameWithItsCrcAppendedChecksToZero()
    {
        // The residue property the answer check relies on: CRC over data + CRC is 0.
        QByteArray frame = QByteArray::fromHex("0103C8");
        frame.append(QByteArray(200, '\x5A'));
        const uint16_t crc = tableCrc(frame);
        frame.append(char(ModbusCrc::lowByte(crc)));
        frame.append(char(ModbusCrc::highByte(crc)));
        QCOMPARE(tableCrc(frame), uint16_t(0));
    }
};

QTEST_APPLESS_MAIN(tst_ModbusCrc)
#include "tst_ModbusCrc.moc"
