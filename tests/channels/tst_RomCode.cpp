// ROM codes between words and text, and the numbering of channels.
#include "ChannelNumbering.h"
#include "RomCode.h"

#include <QTest>

Q_DECLARE_METATYPE(RomCode::Words)

class tst_RomCode : public QObject
{
    Q_OBJECT
private slots:
    void parsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<RomCode::Words>("words");
        QTest::newRow("upper case") << "28FF15E260160574" << true << RomCode::Words{0x28FF, 0x15E2, 0x6016, 0x0574};
        QTest::newRow("lower case") << "28ff15e260160574" << true << RomCode::Words{0x28FF, 0x15E2, 0x6016, 0x0574};
        QTest::newRow("sixteen F") << "FFFFFFFFFFFFFFFF" << true << RomCode::Words{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
        QTest::newRow("dashes") << "28-FF-15-E2-60-16-05-74" << false << RomCode::Words{};
        QTest::newRow("15 digits") << "28FF15E26016057" << false << RomCode::Words{};
        QTest::newRow("17 digits") << "28FF15E2601605741" << false << RomCode::Words{};
        QTest::newRow("blank inside") << "28FF15E2 0160574" << false << RomCode::Words{};
        QTest::newRow("sign") << "+8FF15E260160574" << false << RomCode::Words{};
        QTest::newRow("not hex") << "28FF15E26016057G" << false << RomCode::Words{};
    }
    void parsing()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(RomCode::Words, words);
        RomCode::Words parsed{1, 2, 3, 4};
        QCOMPARE(RomCode::ParseRomCode(text, parsed), ok);
        const RomCode::Words expected = ok ? words : RomCode::Words{1, 2, 3, 4};
        QCOMPARE(parsed, expected);
    }

    void textFormRoundTrips()
    {
        const RomCode::Words words{0x28FF, 0x15E2, 0x6016, 0x0574};
        QCOMPARE(RomCode::toText(words), QStringLiteral("28FF15E260160574"));
        QCOMPARE(RomCode::familyOf(words), uint8_t(0x28));
        QCOMPARE(RomCode::toText({0x0001, 0, 0x00A0, 0x000F}), QStringLiteral("00010000 00A0000F").remove(QLatin1Char(' ')));
        RomCode::Words back{};
        QVERIFY(RomCode::ParseRomCode(RomCode::toText(words), back));
        QCOMPARE(back, words);
        QVERIFY(RomCode::isNoDevice({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}));
        QVERIFY(RomCode::isEmpty({0, 0, 0, 0}));
    }

    void displayNumbersInBothModes()
    {
        QCOMPARE(ChannelNumbering::flag(), 0);
        QCOMPARE(ChannelNumbering::displayNumber(1, 0), 0);
        QCOMPARE(ChannelNumbering::displayNumber(20, 0), 19);
        QCOMPARE(ChannelNumbering::displayNumber(21, 0), 20);
        QCOMPARE(ChannelNumbering::displayNumber(40, 0), 39);
        QCOMPARE(ChannelNumbering::displayNumber(1, 1), 1);
        QCOMPARE(ChannelNumbering::displayNumber(40, 1), 40);
        QCOMPARE(ChannelNumbering::commandByte(1), QStringLiteral("00"));
        QCOMPARE(ChannelNumbering::commandByte(21), QStringLiteral("14"));
        QCOMPARE(ChannelNumbering::commandByte(40), QStringLiteral("27"));
    }
};

QTEST_APPLESS_MAIN(tst_RomCode)
#include "tst_RomCode.moc"
