// The simulated gateway's Modbus slave: answers, exception answers and silence.
#include "FrameBytes.h"
#include "ModbusSlave.h"

#include <QTest>

class tst_ModbusSlave : public QObject
{
    Q_OBJECT
private slots:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("read versions") << withCrc(hexBytes("01 03 03 E8 00 01")) << withCrc(hexBytes("01 03 02 00 6D"));
        QTest::newRow("write single echoes") << withCrc(hexBytes("01 06 04 1D 00 14")) << withCrc(hexBytes("01 06 04 1D 00 14"));
        QTest::newRow("write multiple") << withCrc(hexBytes("01 10 03 E9 00 02 04 00 05 00 60")) << withCrc(hexBytes("01 10 03 E9 00 02"));
        QTest::newRow("unknown function") << withCrc(hexBytes("01 2B 0E 01 00")) << withCrc(hexBytes("01 AB 01"));
        QTest::newRow("read outside the map") << withCrc(hexBytes("01 03 01 F4 00 01")) << withCrc(hexBytes("01 83 02"));
        QTest::newRow("read 126 registers") << withCrc(hexBytes("01 03 00 00 00 7E")) << withCrc(hexBytes("01 83 03"));
        QTest::newRow("read 0 registers") << withCrc(hexBytes("01 03 00 00 00 00")) << withCrc(hexBytes("01 83 03"));
        QTest::newRow("value out of range") << withCrc(hexBytes("01 06 03 E9 00 F8")) << withCrc(hexBytes("01 86 03"));
        QTest::newRow("byte count mismatch") << withCrc(hexBytes("01 10 03 E9 00 02 02 00 05")) << withCrc(hexBytes("01 90 03"));
        QTest::newRow("write read-only") << withCrc(hexBytes("01 06 03 E8 00 01")) << withCrc(hexBytes("01 86 02"));
        QTest::newRow("bad CRC") << hexBytes("01 03 00 00 00 64 44 22") << QByteArray();
        QTest::newRow("other slave") << withCrc(hexBytes("02 03 00 00 00 64")) << QByteArray();
        QTest::newRow("broadcast write") << withCrc(hexBytes("00 06 04 1F 00 03")) << QByteArray();
        QTest::newRow("too short") << hexBytes("01 03") << QByteArray();
        QTest::newRow("write multiple without body") << withCrc(hexBytes("01 10")) << withCrc(hexBytes("01 90 03"));
        QTest::newRow("write multiple cut in its header") << withCrc(hexBytes("01 10 03 E9 00")) << withCrc(hexBytes("01 90 03"));
        QTest::newRow("write single cut short") << withCrc(hexBytes("01 06 04 1D")) << withCrc(hexBytes("01 86 03"));
        QTest::newRow("read cut short") << withCrc(hexBytes("01 03 00 00")) << withCrc(hexBytes("01 83 03"));
    }
    void answers()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        GatewayModel model;
        ModbusSlave slave(model, 1);
        QCOMPARE(slave.handle(request), answer);
    }

    void broadcastWriteIsCarriedOut()
    {
        GatewayModel model;
        ModbusSlave slave(model, 1);
        slave.handle(withCrc(hexBytes("00 06 04 1F 00 03")));
        QCOMPARE(model.reg(1055), uint16_t(3));
    }

    void lengthIsToldByTheFunctionCode()
    {
        QCOMPARE(ModbusSlave::expectedLength(hexBytes("01")), 0);
        QCOMPARE(ModbusSlave::expectedLength(hexBytes("01 03")), 8);
        QCOMPARE(ModbusSlave::expectedLength(hexBytes("01 06 00")), 8);
        QCOMPARE(ModbusSlave::expectedLength(hexBytes("01 10 00 00 00")), 0);
        QCOMPARE(ModbusSlave::expectedLength(hexBytes("01 10 00 00 00 61 C2")), 9 + 194);
        QCOMPARE(ModbusSlave::expectedLength(hexBytes("01 2B")), -1);
    }
};

QTEST_APPLESS_MAIN(tst_ModbusSlave)
#include "tst_ModbusSlave.moc"
