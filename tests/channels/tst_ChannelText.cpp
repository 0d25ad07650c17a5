// Value, status and version texts, the texts taken from the service block, and the register
// dump.
#include "ChannelText.h"
#include "ServiceBlockText.h"

#include <QTest>

namespace {
TChannelRecord record(uint16_t word0, std::array<uint16_t, 5> values)
{
    TChannelRecord r;
    r.channel = 1;
    r.rom = {word0, 0, 0, 0};
    r.values = values;
    return r;
}
} // namespace

class tst_ChannelText : public QObject
{
    Q_OBJECT
private slots:
    void valuesByFamily_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("word0");
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("raw");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hint");
        QTest::newRow("DS18B20 -20.0") << "C" << 0x28FF << 1 << 0xFF38 << "-20.0 °C" << "Temperature";
        QTest::newRow("DS18B20 25.0") << "C" << 0x28FF << 1 << 0x00FA << "25.0 °C" << "Temperature";
        QTest::newRow("DS18B20 comma") << "de_DE" << 0x28FF << 1 << 0xFF38 << "-20,0 °C" << "Temperature";
        QTest::newRow("DS18B20 reserved") << "C" << 0x28FF << 3 << 77 << "77" << "Value3 - Reserved";
        QTest::newRow("DS18S20") << "C" << 0x1000 << 1 << 215 << "21.5 °C" << "Temperature";
        QTest::newRow("DS28E17 humidity") << "C" << 0x1900 << 2 << 453 << "45.3 %" << "Humidity";
        QTest::newRow("DS28E17 comma") << "de_DE" << 0x1900 << 2 << 453 << "45,3 %" << "Humidity";
        QTest::newRow("DS2438 raw") << "C" << 0x2600 << 4 << 3300 << "3300" << "Value4";
        QTest::newRow("iButton counter") << "C" << 0x0100 << 2 << 12 << "12" << "Connections counter";
        QTest::newRow("iButton indicator") << "C" << 0x0100 << 5 << 1 << "1"
                                           << "Connection indicator|Indicates connection approximately 20 seconds after the chip is removed.";
        // Four digits before the point never get a group separator, in any locale.
        QTest::newRow("1234.5 en") << "en_US" << 0x2800 << 1 << 12345 << "1234.5 °C" << "Temperature";
        QTest::newRow("1234.5 de") << "de_DE" << 0x2800 << 1 << 12345 << "1234,5 °C" << "Temperature";
        QTest::newRow("1234.5 cs") << "cs_CZ" << 0x2800 << 1 << 12345 << "1234,5 °C" << "Temperature";
        QTest::newRow("-1234.5 en") << "en_US" << 0x2800 << 1 << 0xCFC7 << "-1234.5 °C" << "Temperature";
        QTest::newRow("humidity 6553.5 de") << "de_DE" << 0x1900 << 2 << 65535 << "6553,5 %" << "Humidity";
        QTest::newRow("unknown family") << "C" << 0x3A00 << 5 << 65535 << "65535" << "Value5";
    }
    void valuesByFamily()
    {
        QFETCH(QString, locale);
        QFETCH(int, word0);
        QFETCH(int, slot);
        QFETCH(int, raw);
        QFETCH(QString, text);
        QFETCH(QString, hint);
        std::array<uint16_t, 5> values{};
        values[size_t(slot - 1)] = uint16_t(raw);
        const auto shown = ChannelText::valueOf(record(uint16_t(word0), values), slot, QLocale(locale));
        QCOMPARE(shown.text, text);
        QCOMPARE(shown.hint, hint);
    }

    void iButtonHintFollowsValue1()
    {
        const auto on = ChannelText::valueOf(record(0x0100, {1, 0, 0, 0, 0}), 1);
        QVERIFY(on.hint.startsWith(QLatin1String("Chip is connected|")));
        const auto off = ChannelText::valueOf(record(0x0100, {0, 0, 0, 0, 0}), 1);
        QCOMPARE(off.hint, QStringLiteral("Chip is not connected|No chip detected on the probe."));
    }

    void otherKinds()
    {
        QCOMPARE(ChannelText::value(4, 1, 12, 0, QLocale::c()).text, QStringLiteral("12 mA"));
        QCOMPARE(ChannelText::value(5, 1, 498, 0, QLocale::c()).text, QStringLiteral("4.98 V"));
        QCOMPARE(ChannelText::value(5, 1, 498, 0, QLocale(QStringLiteral("de_DE"))).text, QStringLiteral("4,98 V"));
        QCOMPARE(ChannelText::value(5, 1, 65535, 0, QLocale(QStringLiteral("en_US"))).text, QStringLiteral("655.35 V"));
        const auto beyond = ChannelText::value(9, 1, 5, 0);
        QVERIFY(beyond.text.isEmpty() && beyond.hint.isEmpty());
        QCOMPARE(ChannelText::familyHint(0x28), QStringLiteral("DS18B20|Digital thermometer. (Family code: 0x28)"));
        QCOMPARE(ChannelText::familyHint(0x3A), QStringLiteral("Unknown family code"));
    }

    void statusVersionAndOperationTexts()
    {
        QCOMPARE(ChannelText::statusText(2), QStringLiteral("Short circuit"));
        QCOMPARE(ChannelText::statusText(254), QString());
        QCOMPARE(ChannelText::statusText(255), QStringLiteral("Free position"));
        QCOMPARE(ChannelText::statusText(6), QStringLiteral("Undefined error code"));
        QCOMPARE(ChannelText::FormatVersion(109), QStringLiteral("V1.09"));
        QCOMPARE(ChannelText::FormatVersion(110), QStringLiteral("V1.10"));
        QCOMPARE(ChannelText::FormatVersion(100), QStringLiteral("V1.00"));
        QCOMPARE(ChannelText::FormatVersion(5), QStringLiteral("V0.05"));
        QCOMPARE(ChannelText::StatusText(0xEEE4), QStringLiteral("CRC error when reading ROM code"));
        QCOMPARE(ChannelText::StatusText(0x1234), QStringLiteral("Undefined error code"));
    }

    void searchTextsFromTheServiceBlock()
    {
        ServiceBlockText::Block s{};
        s[10] = 0x05FF;
        s[11] = 0x1234;
        s[12] = 0x28FF;
        s[13] = 0x15E2;
        s[14] = 0x6016;
        s[15] = 0x0574;
        s[20] = 0x0914;
        s[21] = 0xFFFF;
        QCOMPARE(ServiceBlockText::newRomCode(s, 0), QStringLiteral("New: 28FF15E260160574"));
        QCOMPARE(ServiceBlockText::command(s, 0), QStringLiteral("Command: 0x05FF"));
        QCOMPARE(ServiceBlockText::operationStatus(s, 0), QStringLiteral("Operation status: Undefined error code (0x1234)"));
        QCOMPARE(ServiceBlockText::command(s, 1), QStringLiteral("Command: 0x0914"));
        QCOMPARE(ServiceBlockText::operationStatus(s, 1), QStringLiteral("Operation status: OK (0xFFFF)"));
        QCOMPARE(ServiceBlockText::newRomCode(s, 1), QStringLiteral("New: 0000000000000000"));
    }

    void foundListsGoToTheirOwnPositions()
    {
        ServiceBlockText::Block b{};
        b[0] = 0x28AA;
        b[4] = 7;
        b[95] = 0x10BB;
        b[99] = 3;
        const auto line2 = ServiceBlockText::foundRecords(1200, b);
        QCOMPARE(line2.size(), 20);
        QCOMPARE(line2.first().channel, uint8_t(21));
        QCOMPARE(line2.last().channel, uint8_t(40));
        QCOMPARE(line2.first().rom[0], uint16_t(0x28AA));
        QCOMPARE(line2.first().values[0], uint16_t(7));
        QCOMPARE(line2.last().values[0], uint16_t(3));
        QCOMPARE(ServiceBlockText::foundRecords(1100, b).first().channel, uint8_t(1));
    }

    void lastFaultInChannelOrderDecidesTheLine()
    {
        QCOMPARE(ServiceBlockText::lineState({0, 0, 255, 5}), 0);
        QCOMPARE(ServiceBlockText::lineState({0, 0, 1, 0, 2, 0}), 2);
        QCOMPARE(ServiceBlockText::lineState({2, 1, 0}), 1);
    }

    void registerDumpLayout()
    {
        ServiceBlockText::Block b{};
        for (int i = 0; i < 100; ++i)
            b[size_t(i)] = uint16_t(1000 + i);
        const QString dump = ServiceBlockText::registerDump(300, b);
        const QStringList lines = dump.split(QLatin1Char('\r'));
        QCOMPARE(lines.size(), 27); // heading, 25 lines, and the empty rest after the last CR
        QCOMPARE(lines[0], QStringLiteral("Starting Address: 300"));
        QCOMPARE(lines[1], QStringLiteral("0 - 1000\t25 - 1025\t50 - 1050\t75 - 1075"));
        QCOMPARE(lines[25], QStringLiteral("24 - 1024\t49 - 1049\t74 - 1074\t99 - 1099"));
        QVERIFY(lines[26].isEmpty());
    }
};

QTEST_APPLESS_MAIN(tst_ChannelText)
#include "tst_ChannelText.moc"
