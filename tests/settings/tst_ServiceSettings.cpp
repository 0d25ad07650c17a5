// Register values to control indexes and back, and the list of writes made from edits.
#include "ServiceSettings.h"

#include <QTest>

using Kind = ServiceSettings::Kind;
Q_DECLARE_METATYPE(Kind)

class tst_ServiceSettings : public QObject
{
    Q_OBJECT
private slots:
    void registerValueGivesTheControlIndex_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("index");
        QTest::newRow("address 247") << Kind::Address << 247 << 246;
        QTest::newRow("address 0 wraps beyond the list") << Kind::Address << 0 << 65535;
        QTest::newRow("stop bits 2") << Kind::StopBits << 2 << 1;
        QTest::newRow("stop bits 0 wraps beyond the list") << Kind::StopBits << 0 << 65535;
        QTest::newRow("9.6 kBd") << Kind::BaudRate << 96 << 5;
        QTest::newRow("speed not in the table is 1.2 kBd") << Kind::BaudRate << 97 << 0;
        QTest::newRow("power 6 is beyond the list") << Kind::PowerLine << 6 << 6;
    }
    void registerValueGivesTheControlIndex()
    {
        QFETCH(Kind, kind);
        QFETCH(int, value);
        QFETCH(int, index);
        QCOMPARE(ServiceSettings::controlIndex(kind, uint16_t(value)), index);
    }

    void controlGivesTheRegisterValue_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<double>("shown");
        QTest::addColumn<int>("value");
        QTest::newRow("address \"247\"") << Kind::Address << 246.0 << 247;
        QTest::newRow("stop bits \"Two\"") << Kind::StopBits << 1.0 << 2;
        QTest::newRow("115.2 kBd") << Kind::BaudRate << 13.0 << 1152;
        QTest::newRow("delay 25.7 is truncated") << Kind::Delay << 25.7 << 25;
        QTest::newRow("no address selected: the first item") << Kind::Address << -1.0 << 1;
        QTest::newRow("no speed selected: the first item") << Kind::BaudRate << -1.0 << 12;
    }
    void controlGivesTheRegisterValue()
    {
        QFETCH(Kind, kind);
        QFETCH(double, shown);
        QFETCH(int, value);
        QCOMPARE(ServiceSettings::registerValue(kind, shown), uint16_t(value));
    }

    void writeListTakesMarkedControlsInTheFixedOrder()
    {
        std::array<ServiceSettings::Shown, ServiceSettings::Count> shown{};
        QVERIFY(ServiceSettings::writeList(shown).isEmpty());

        shown[7] = {true, 2}; // COM1 parity only
        QCOMPARE(ServiceSettings::writeList(shown), (QList<TWriteEntry>{{2, 1008}}));

        // Everything marked at its default index: the factory settings, in sending order.
        for (size_t i = 0; i < shown.size(); ++i) {
            const ServiceSettings::Setting &s = ServiceSettings::Settings[i];
            shown[i] = {true, double(ServiceSettings::controlIndex(s.kind, ServiceSettings::defaultValue(s.kind)))};
        }
        const QList<TWriteEntry> defaults = {{1, 1001}, {96, 1002}, {0, 1006}, {1, 1005}, {0, 1053}, {1, 1003},
                                             {96, 1004}, {0, 1008}, {1, 1007}, {0, 1054}, {1, 1055}};
        QCOMPARE(ServiceSettings::writeList(shown), defaults);
    }
};

QTEST_GUILESS_MAIN(tst_ServiceSettings)
#include "tst_ServiceSettings.moc"
