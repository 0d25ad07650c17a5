// serve's options, channel payloads and metrics text without a broker: what each option form
// gives or how it is refused, which channels become entities, what a failed reading publishes.
#include "BridgeMessages.h"
#include "CliFailure.h"
#include "CommandArgs.h"
#include "GatewayModel.h"
#include "MetricsText.h"
#include "ServeOptions.h"
#include "TestHelpers.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

namespace {

TChannelRecord record(uint8_t family, uint8_t status, uint16_t value1 = 215)
{
    TChannelRecord r;
    r.channel = 1;
    r.rom = GatewayModel::makeRom(family, 0x05E260A215FF);
    r.values = {value1, 0, 0, 0, 0};
    r.status = status;
    return r;
}

} // namespace

class tst_BridgeMessages : public QObject
{
    Q_OBJECT
private slots:
    void optionsAreTakenOrRefusedWithTheirReason_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("error"); // part of the usage message; empty: accepted
        QTest::addColumn<QString>("broker");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("metricsPort");

        // Accepted: the broker as host:port, the bridge's name, the metrics port.
        QTest::newRow("host only") << QStringList{"--mqtt", "broker.lan"} << "" << "broker.lan:1883" << "ttyUSB0-7" << 0;
        QTest::newRow("host and port") << QStringList{"--mqtt=10.0.0.2:1884", "--name", "boiler_1"} << ""
                                       << "10.0.0.2:1884" << "boiler_1" << 0;
        QTest::newRow("IPv6") << QStringList{"--mqtt", "[::1]:1885", "--metrics", "[::1]:9101"} << "" << "::1:1885"
                              << "ttyUSB0-7" << 9101;
        QTest::newRow("metrics port") << QStringList{"--mqtt", "h", "--metrics", "9100"} << "" << "h:1883" << "ttyUSB0-7" << 9100;
        // Refused, with the reason.
        const auto refused = [](const char *row, const QStringList &words, const char *error) {
            QTest::newRow(row) << words << QString::fromUtf8(error) << QString() << QString() << 0;
        };
        refused("no broker", {"--name", "x"}, "needs --mqtt");
        refused("port out of range", {"--mqtt", "h:70000"}, "port 1 to 65535");
        refused("not an address", {"--mqtt", "a b"}, "HOST or HOST:PORT");
        refused("topic characters in name", {"--mqtt", "h", "--name", "a/#"}, "--name takes");
        refused("heartbeat zero", {"--mqtt", "h", "--heartbeat", "0"}, "--heartbeat takes");
        refused("metrics host name", {"--mqtt", "h", "--metrics", "example.org:9100"}, "numeric address");
        refused("password without user", {"--mqtt", "h", "--mqtt-password-file", "/etc/hostname"}, "needs --mqtt-user");
        refused("missing password file", {"--mqtt", "h", "--mqtt-user", "u", "--mqtt-password-file", "/nonexistent/pw"},
                "does not exist");
        refused("unknown option", {"--mqtt", "h", "--retain"}, "--retain");
    }
    void optionsAreTakenOrRefusedWithTheirReason()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, error);
        LinkOptions link;
        link.port = QStringLiteral("/dev/ttyUSB0");
        link.address = 7;
        CommandArgs args(QStringLiteral("serve"), words);
        try {
            const ServeOptions o = ServeOptions::parse(args, link);
            QVERIFY2(error.isEmpty(), qPrintable(QStringLiteral("accepted, expected: ") + error));
            QFETCH(QString, broker);
            QCOMPARE(QStringLiteral("%1:%2").arg(o.mqttHost).arg(o.mqttPort), broker);
            QFETCH(QString, name);
            QCOMPARE(o.name, name);
            QFETCH(int, metricsPort);
            QCOMPARE(o.metricsPort, metricsPort);
        } catch (const CliFailure &f) {
            QVERIFY2(!error.isEmpty(), qPrintable(f.message));
            QCOMPARE(f.code, ExitCode::Usage);
            QVERIFY2(f.message.contains(error), qPrintable(f.message));
        }
    }

    void passwordIsTheFilesFirstLineAndTlsMovesTheDefaultPort()
    {
        QTemporaryDir dir;
        const QString pw = dir.filePath(QStringLiteral("pw"));
        QVERIFY(writeFile(pw, "s3cret x\r\nsecond line\n"));
        LinkOptions link;
        link.port = QStringLiteral("/dev/ttyUSB0");
        CommandArgs args(QStringLiteral("serve"),
            {QStringLiteral("--mqtt"), QStringLiteral("h"), QStringLiteral("--mqtt-user"),
                QStringLiteral("u"), QStringLiteral("--mqtt-password-file"), pw,
                QStringLiteral("--mqtt-cafile"), pw});
        const ServeOptions o = ServeOptions::parse(args, link);
        QCOMPARE(o.mqttPassword.value_or(QString()), QStringLiteral("s3cret x"));
        QCOMPARE(o.mqttPort, 8883);
    }

    void defaultNameIsTheTopicSafePortAndAddress_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("name");
        QTest::newRow("usb") << "/dev/ttyUSB0" << 1 << "ttyUSB0-1";
        QTest::newRow("by-id") << "/dev/serial/by-id/usb-FTDI_FT232R_A1b.2:3-if00" << 247
                               << "usb-FTDI_FT232R_A1b_2_3-if00-247";
        QTest::newRow("windows") << "COM3" << 12 << "COM3-12";
    }
    void defaultNameIsTheTopicSafePortAndAddress()
    {
        QFETCH(QString, port);
        QFETCH(int, address);
        QFETCH(QString, name);
        LinkOptions link;
        link.port = port;
        link.address = address;
        QCOMPARE(ServeOptions::defaultName(link), name);
        QVERIFY(ServeOptions::isValidName(name));
    }

    void channelsBecomeStateAndEntitiesByFamilyAndStatus_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("used");
        QTest::addColumn<bool>("thermometer");
        QTest::addColumn<QVariant>("temperature"); // null: JSON null
        QTest::newRow("DS18B20 ok") << 0x28 << 0 << true << true << QVariant(21.5);
        QTest::newRow("DS18B20 CRC error") << 0x28 << int(ChannelStatus::CrcError) << true << true << QVariant();
        QTest::newRow("humidity sensor") << 0x19 << 0 << true << true << QVariant(21.5);
        QTest::newRow("iButton") << 0x01 << 0 << true << false << QVariant();
        QTest::newRow("unknown family") << 0x3A << 0 << true << false << QVariant();
        QTest::newRow("free position") << 0x28 << int(ChannelStatus::FreePosition) << false << false << QVariant();
    }
    void channelsBecomeStateAndEntitiesByFamilyAndStatus()
    {
        QFETCH(int, family);
        QFETCH(int, status);
        QFETCH(bool, used);
        QFETCH(bool, thermometer);
        QFETCH(QVariant, temperature);
        const TChannelRecord r = record(uint8_t(family), uint8_t(status));
        QCOMPARE(BridgeMessages::isUsed(r), used);
        QCOMPARE(BridgeMessages::isThermometer(r), thermometer);
        if (!used)
            return;
        const QJsonObject s = BridgeMessages::state(r, 0, QStringLiteral("Boiler"));
        QCOMPARE(s.value(QStringLiteral("description")).toString(), QStringLiteral("Boiler"));
        QCOMPARE(s.value(QStringLiteral("status")).toInt(), status);
        if (temperature.isValid())
            QCOMPARE(s.value(QStringLiteral("temperature")).toDouble(), temperature.toDouble());
        else
            QVERIFY(s.value(QStringLiteral("temperature")).isNull());
        // A failed reading has no values to give, only nulls.
        if (status != ChannelStatus::Ok)
            for (const QJsonValue v : s.value(QStringLiteral("values")).toArray())
                QVERIFY(v.isNull());
        QVERIFY(!s.contains(QStringLiteral("raw")));
    }

    void entityTopicsAreThisGatewaysOnly_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("rom"); // empty: not an entity of gateway "boiler"
        const QString rom = QStringLiteral("28FF15E260160574");
        QTest::newRow("ours") << BridgeMessages::discoveryTopic(QStringLiteral("boiler"), rom) << rom;
        QTest::newRow("ID that starts alike")
            << BridgeMessages::discoveryTopic(QStringLiteral("boiler_2"), rom) << "";
        QTest::newRow("ID that ends alike")
            << BridgeMessages::discoveryTopic(QStringLiteral("old-boiler"), rom) << "";
        QTest::newRow("lower-case ROM") << "homeassistant/sensor/tarvik_boiler_28ff15e260160574/config" << "";
        QTest::newRow("ROM too short") << "homeassistant/sensor/tarvik_boiler_28FF15E26016057/config" << "";
        QTest::newRow("another component") << "homeassistant/binary_sensor/tarvik_boiler_" + rom + "/config" << "";
    }
    void entityTopicsAreThisGatewaysOnly()
    {
        QFETCH(QString, topic);
        QFETCH(QString, rom);
        QCOMPARE(BridgeMessages::romOfDiscoveryTopic(QStringLiteral("boiler"), topic), rom);
    }

    void metricLabelsEscapeQuotesBackslashesAndLineEnds()
    {
        QCOMPARE(MetricsText::escapeLabel(QStringLiteral("a\"b\\c\nd")),
            QStringLiteral("a\\\"b\\\\c\\nd"));
    }
};

QTEST_MAIN(tst_BridgeMessages)
#include "tst_BridgeMessages.moc"
