// The simulated gateway's behaviour: commands and their status words, port settings, ROM code
// writes, the firmware sink and the populations.
#include "GatewayModel.h"
#include "RegisterMap.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
std::array<uint16_t, 4> romAt(GatewayModel &m, int channel)
{
    QList<uint16_t> regs;
    m.read(ChannelMap::recordAddress(channel), 4, regs);
    return {regs[0], regs[1], regs[2], regs[3]};
}
uint8_t statusAt(GatewayModel &m, int channel)
{
    QList<uint16_t> regs;
    m.read(ChannelMap::recordAddress(channel) + ChannelMap::StatusOffset, 1, regs);
    return uint8_t(regs[0]);
}
constexpr std::array<uint16_t, 4> kFree = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
} // namespace

class tst_GatewayModel : public QObject
{
    Q_OBJECT
private slots:
    void romCodesCarryAValidOneWireCrc()
    {
        // The 1-Wire CRC over all eight bytes of a code, its own CRC byte included, is zero.
        const auto rom = GatewayModel::makeRom(0x28, 0x0000012345678ULL);
        uint8_t bytes[8];
        for (int i = 0; i < 4; ++i) {
            bytes[2 * i] = uint8_t(rom[size_t(i)] >> 8);
            bytes[2 * i + 1] = uint8_t(rom[size_t(i)]);
        }
        uint8_t crc = 0;
        for (uint8_t b : bytes)
            for (int bit = 0; bit < 8; ++bit, b >>= 1) {
                const bool mix = (crc ^ b) & 1;
                crc >>= 1;
                if (mix)
                    crc ^= 0x8C;
            }
        QCOMPARE(crc, uint8_t(0));
        QCOMPARE(bytes[0], uint8_t(0x28));
    }

    void demoPopulationShowsEveryFamilyAndStatus()
    {
        GatewayModel m;
        m.loadDemoPopulation();
        QSet<int> families, statuses;
        for (int c = 1; c <= 40; ++c) {
            statuses.insert(statusAt(m, c));
            if (statusAt(m, c) != ChannelStatus::FreePosition)
                families.insert(romAt(m, c)[0] >> 8);
        }
        for (int f : {0x01, 0x10, 0x19, 0x26, 0x28, 0x3A})
            QVERIFY2(families.contains(f), qPrintable(QString::number(f, 16)));
        for (int s : {0, 3, 4, 5, 254, 255})
            QVERIFY2(statuses.contains(s), qPrintable(QString::number(s)));
        QList<uint16_t> service;
        QCOMPARE(m.read(1000, 100, service), GatewayModel::Access::Ok);
        QCOMPARE(service[0], uint16_t(109));
        QCOMPARE(service[9], uint16_t(100));
        // A thermometer reads its temperature in tenths of a degree, signed.
        QList<uint16_t> rec;
        m.read(ChannelMap::recordAddress(2), 10, rec);
        QCOMPARE(int16_t(rec[4]), int16_t(-200));
    }

    void findNewReportsTheOneUnassignedDevice()
    {
        GatewayModel m;
        m.loadDemoPopulation();
        QCOMPARE(m.writeSingle(1010, Command::FindNew), GatewayModel::Access::Ok);
        QCOMPARE(m.reg(1010), Command::FindNew);
        QCOMPARE(m.reg(1011), OperationStatus::Ok);
        QVERIFY(m.reg(1012) >> 8 == 0x28);
        // Line 2 has two new devices: they answer at once and their bits collide.
        m.writeSingle(1020, Command::FindNew);
        QCOMPARE(m.reg(1021), OperationStatus::RomCrcError);
        // Save new stores the found device into channel 12 (CC 0x0B).
        const std::array<uint16_t, 4> found = {m.reg(1012), m.reg(1013), m.reg(1014), m.reg(1015)};
        m.writeSingle(1010, Command::SaveNewBase + 0x0B);
        QCOMPARE(m.reg(1011), OperationStatus::Ok);
        QCOMPARE(romAt(m, 12), found);
        QCOMPARE(statusAt(m, 12), uint8_t(0));
        // Now nothing new is left.
        m.writeSingle(1010, Command::FindNew);
        QCOMPARE(m.reg(1011), OperationStatus::RomReadError);
    }

    void foundListsAndSavingFromThem()
    {
        GatewayModel m;
        m.loadDemoPopulation();
        m.writeSingle(1020, Command::FindNewAll);
        QList<uint16_t> list;
        m.read(1200, 100, list);
        QVERIFY(list[0] != 0 && list[5] != 0);
        QCOMPARE(list[4], uint16_t(0));
        QCOMPARE(list[9], uint16_t(1));
        QCOMPARE(list[10], uint16_t(0)); // third record empty
        m.writeSingle(1020, Command::saveFound(1, 30));
        QCOMPARE(m.reg(1021), OperationStatus::Ok);
        QCOMPARE(romAt(m, 31), (std::array<uint16_t, 4>{list[5], list[6], list[7], list[8]}));

        m.writeSingle(1010, Command::FindAll);
        m.read(1100, 100, list);
        int found = 0;
        for (int k = 0; k < 20; ++k)
            found += list[5 * k] != 0;
        QCOMPARE(found, 10); // every present device on line 1, assigned or not
    }

    void commandFailuresGiveTheirStatusWords()
    {
        GatewayModel m;
        m.loadDemoPopulation();
        m.writeSingle(1010, Command::DeleteBase + 0x14); // a line 2 channel on line 1's register
        QCOMPARE(m.reg(1011), OperationStatus::ChannelOutOfRange);
        m.writeSingle(1010, 0x1234);
        QCOMPARE(m.reg(1011), OperationStatus::UnsupportedCommand);
        m.writeSingle(1020, Command::saveFound(7, 25)); // no list searched yet
        QCOMPARE(m.reg(1021), OperationStatus::RomReadError);
        m.writeSingle(1020, Command::DeleteBase + 0x14);
        QCOMPARE(m.reg(1021), OperationStatus::Ok);
        QCOMPARE(statusAt(m, 21), ChannelStatus::FreePosition);
        QCOMPARE(romAt(m, 21), kFree);
    }

    void romCodeWriteAssignsAndAllOnesFrees()
    {
        GatewayModel m;
        m.loadDemoPopulation();
        const auto rom = GatewayModel::makeRom(0x28, 0xABCDEF);
        QCOMPARE(m.writeMultiple(ChannelMap::recordAddress(40), {rom[0], rom[1], rom[2], rom[3]}),
                 GatewayModel::Access::Ok);
        QCOMPARE(romAt(m, 40), rom);
        QCOMPARE(statusAt(m, 40), ChannelStatus::Timeout); // no such device on the wire
        m.writeMultiple(ChannelMap::recordAddress(40), {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF});
        QCOMPARE(statusAt(m, 40), ChannelStatus::FreePosition);
        // Values and status of a record are the gateway's own.
        QCOMPARE(m.writeSingle(ChannelMap::recordAddress(40) + 4, 1), GatewayModel::Access::IllegalAddress);
    }

    void lineFaultAndRemovedDevice()
    {
        GatewayModel m;
        m.loadDemoPopulation();
        m.setLineFault(0, ChannelStatus::ShortCircuit);
        QCOMPARE(statusAt(m, 1), ChannelStatus::ShortCircuit);
        QCOMPARE(romAt(m, 1), kFree);
        QCOMPARE(statusAt(m, 21), uint8_t(0));
        m.setLineFault(0, 0);
        const auto rom = romAt(m, 21);
        m.setDevicePresent(rom, false);
        QCOMPARE(statusAt(m, 21), ChannelStatus::Timeout);
        QCOMPARE(romAt(m, 21), rom);
    }

    void portSettingsAreKeptWithinTheirRanges_data()
    {
        QTest::addColumn<int>("reg");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("address 247") << 1001 << 247 << true;
        QTest::newRow("address 0") << 1001 << 0 << false;
        QTest::newRow("address 248") << 1003 << 248 << false;
        QTest::newRow("baud 1152") << 1002 << 1152 << true;
        QTest::newRow("baud 97") << 1004 << 97 << false;
        QTest::newRow("stop bits 2") << 1005 << 2 << true;
        QTest::newRow("stop bits 0") << 1007 << 0 << false;
        QTest::newRow("parity 2") << 1006 << 2 << true;
        QTest::newRow("parity 3") << 1008 << 3 << false;
        QTest::newRow("delay 200") << 1053 << 200 << true;
        QTest::newRow("delay 201") << 1054 << 201 << false;
        QTest::newRow("power 5") << 1055 << 5 << true;
        QTest::newRow("power 6") << 1055 << 6 << false;
    }
    void portSettingsAreKeptWithinTheirRanges()
    {
        QFETCH(int, reg);
        QFETCH(int, value);
        QFETCH(bool, accepted);
        GatewayModel m;
        const uint16_t before = m.reg(uint16_t(reg));
        const auto result = m.writeSingle(uint16_t(reg), uint16_t(value));
        QCOMPARE(result, accepted ? GatewayModel::Access::Ok : GatewayModel::Access::IllegalValue);
        QCOMPARE(m.reg(uint16_t(reg)), accepted ? uint16_t(value) : before);
    }

    void readOnlyAndUnmappedRegistersAreRefused()
    {
        GatewayModel m;
        QList<uint16_t> regs;
        QCOMPARE(m.read(400, 1, regs), GatewayModel::Access::IllegalAddress);
        QCOMPARE(m.read(1250, 100, regs), GatewayModel::Access::IllegalAddress);
        QCOMPARE(m.read(1000, 120, regs), GatewayModel::Access::Ok);
        QCOMPARE(m.writeSingle(1000, 1), GatewayModel::Access::IllegalAddress);
        QCOMPARE(m.writeSingle(1100, 1), GatewayModel::Access::IllegalAddress);
        QCOMPARE(m.writeMultiple(1470, {1, 2, 3}), GatewayModel::Access::IllegalAddress);
    }

    void firmwareChunksBuildTheImage()
    {
        GatewayModel m;
        m.writeMultiple(1376, {32});
        m.writeMultiple(1376, {33});
        QCOMPARE(m.erasedPages(), (QList<uint16_t>{32, 33}));
        QByteArray expected;
        for (int chunk = 0; chunk < 3; ++chunk) {
            QList<uint16_t> values{uint16_t(chunk * 192)};
            for (int i = 0; i < 96; ++i) {
                const uint8_t hi = uint8_t(chunk * 7 + 2 * i), lo = uint8_t(chunk * 7 + 2 * i + 1);
                values.append(uint16_t(hi << 8 | lo));
                expected.append(char(hi)).append(char(lo));
            }
            QCOMPARE(m.writeMultiple(1375, values), GatewayModel::Access::Ok);
        }
        QCOMPARE(m.firmwareImage(), expected);
    }

    void populationFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("pop.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("# two thermometers and a faulty line\n"
                "device 1 28FF15E260160574 channel 1 temp 25.0\n"
                "device 2 2800000000000001 absent channel 21\n"
                "fault 2 short\n");
        f.close();
        GatewayModel m;
        QString error;
        QVERIFY2(m.loadPopulationFile(path, &error), qPrintable(error));
        QCOMPARE(romAt(m, 1), (std::array<uint16_t, 4>{0x28FF, 0x15E2, 0x6016, 0x0574}));
        QList<uint16_t> rec;
        m.read(4, 1, rec);
        QCOMPARE(rec[0], uint16_t(250));
        QCOMPARE(statusAt(m, 21), ChannelStatus::ShortCircuit);

        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("device 1 28FF15E26016057 channel 1\n");
        f.close();
        QVERIFY(!m.loadPopulationFile(path, &error));
        QVERIFY2(error.contains(QLatin1String(":1:")), qPrintable(error));
        QCOMPARE(romAt(m, 1), (std::array<uint16_t, 4>{0x28FF, 0x15E2, 0x6016, 0x0574}));
        QVERIFY(!m.loadPopulationFile(dir.filePath(QStringLiteral("missing")), &error));

        // Tabs separate fields as well as blanks do.
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("device\t2\t2800000000000002\tchannel\t22\n");
        f.close();
        QVERIFY2(m.loadPopulationFile(path, &error), qPrintable(error));
        QCOMPARE(romAt(m, 22), (std::array<uint16_t, 4>{0x2800, 0, 0, 2}));
    }

    void populationLineIsRefusedWithItsFieldNamed_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("0x prefix") << QByteArray("device 1 0x28FF15E2601605 channel 1\n") << ":1: ROM code \"0x28FF15E2601605\"";
        QTest::newRow("signed ROM") << QByteArray("device 1 +28FF15E26016057 channel 1\n") << ":1: ROM code \"+28FF15E26016057\"";
        QTest::newRow("fractional channel") << QByteArray("device 1 28FF15E260160574 channel 1.7\n") << ":1: channel \"1.7\"";
        QTest::newRow("channel taken") << QByteArray("device 1 28FF15E260160574 channel 3\ndevice 1 28FF15E260160575 channel 3\n")
                                       << ":2: channel 3 already has a device";
        QTest::newRow("line 2 on channel 1") << QByteArray("device 2 28FF15E260160574 channel 1\n")
                                             << ":1: channel \"1\" is not a whole number from 21 to 40 (line 2)";
        QTest::newRow("same ROM twice") << QByteArray("device 1 28FF15E260160574\ndevice 2 28ff15e260160574\n") << ":2: ROM code";
        QTest::newRow("temp nan") << QByteArray("device 1 28FF15E260160574 temp nan\n") << ":1: temp \"nan\"";
        QTest::newRow("line 3") << QByteArray("fault 3 short\n") << ":1: line \"3\" is not 1 or 2";
        QTest::newRow("unknown setting") << QByteArray("device 1 28FF15E260160574 colour red\n") << ":1: unknown setting \"colour\"";
    }
    void populationLineIsRefusedWithItsFieldNamed()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("pop.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        GatewayModel m;
        QString error;
        QVERIFY(!m.loadPopulationFile(path, &error));
        QVERIFY2(error.startsWith(path + message), qPrintable(error));
    }
};

QTEST_APPLESS_MAIN(tst_GatewayModel)
#include "tst_GatewayModel.moc"
