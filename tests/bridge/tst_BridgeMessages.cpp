// serve's options, channel payloads and metrics text without a broker: what each option form
// gives or how it is refused, the default ID, which channels become entities, when a channel's
// device counts as changed, what a failed reading publishes.
#include "BridgeMessages.h"
#include "ChannelDevice.h"
#include "DescriptionsSource.h"
#include "CliFailure.h"
#include "CommandArgs.h"
#include "GatewayModel.h"
#include "GatewayName.h"
#include "MetricsText.h"
#include "OutgoingText.h"
#include "SecretChecks.h"
#include "ServeOptions.h"
#include "TestHelpers.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

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

QString t(const char16_t *text)
{
    return QString::fromUtf16(text);
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
        QTest::newRow("TLS, system authorities") << QStringList{"--mqtt", "h", "--mqtt-tls"} << "" << "h:8883"
                                                 << "ttyUSB0-7" << 0;
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
        refused("descriptions a directory", {"--mqtt", "h", "--descriptions", "/tmp"},
                "--descriptions: /tmp is a directory");
        refused("certificate without key", {"--mqtt", "h", "--mqtt-cert", "/etc/hostname"},
                "--mqtt-cert and --mqtt-key go together");
        refused("missing key", {"--mqtt", "h", "--mqtt-cert", "/etc/hostname", "--mqtt-key", "/nonexistent/k"},
                "--mqtt-key: /nonexistent/k does not exist");
        refused("unknown option", {"--mqtt", "h", "--retain"}, "--retain");
        refused("wildcard in topic prefix", {"--mqtt", "h", "--topic-prefix", "site/#"}, "--topic-prefix takes");
        refused("empty level in discovery prefix", {"--mqtt", "h", "--discovery-prefix", "ha//x"},
                "--discovery-prefix takes");
        refused("discovery prefix without discovery",
                {"--mqtt", "h", "--no-discovery", "--discovery-prefix", "ha"}, "no use with --no-discovery");
    }
    void optionsAreTakenOrRefusedWithTheirReason()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, error);
        LinkOptions link;
        // No such device here, so no adapter's by-id link names it.
        link.port = QStringLiteral("/nonexistent/ttyUSB0");
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

    // Several gateways on the line: an ID each, and the bridge's own name.
    void everyGatewayOfALineGetsItsOwnId_data()
    {
        QTest::addColumn<QStringList>("name"); // --name and its value, or nothing
        QTest::addColumn<QString>("ids"); // joined by spaces, then the bridge; or the error
        QTest::newRow("default") << QStringList() << "ttyUSB0-1 ttyUSB0-2 ttyUSB0-5 | ttyUSB0";
        QTest::newRow("pattern") << QStringList{"--name", "hall-%a"} << "hall-1 hall-2 hall-5 | hall";
        QTest::newRow("plain name") << QStringList{"--name", "hall"} << "hall-1 hall-2 hall-5 | hall";
        QTest::newRow("list") << QStringList{"--name", "flow,return,pump"} << "flow return pump | ttyUSB0";
        QTest::newRow("list too short") << QStringList{"--name", "flow,return"} << "gives 2 names for 3 addresses";
        QTest::newRow("list twice the same") << QStringList{"--name", "a,b,a"} << "two gateways the ID a";
        QTest::newRow("bad character") << QStringList{"--name", "a b-%a"} << "--name takes";
    }
    void everyGatewayOfALineGetsItsOwnId()
    {
        QFETCH(QStringList, name);
        QFETCH(QString, ids);
        LinkOptions link;
        link.port = QStringLiteral("/nonexistent/ttyUSB0");
        link.addresses = {1, 2, 5};
        link.address = 1;
        CommandArgs args(QStringLiteral("serve"), QStringList{"--mqtt", "h"} + name);
        try {
            const ServeOptions o = ServeOptions::parse(args, link);
            QCOMPARE(o.names.join(' ') + QStringLiteral(" | ") + o.bridgeName, ids);
            QCOMPARE(o.name, o.names.first());
        } catch (const CliFailure &f) {
            QVERIFY2(f.message.contains(ids), qPrintable(f.message));
            QCOMPARE(f.code, ExitCode::Usage);
        }
    }

    // The password file readable by others, and a password sent in clear to another machine,
    // are each warned about with what to do; a file of the owner's alone, TLS or a broker on
    // this machine are not.
    void passwordKeptOrSentOpenlyIsWarnedAbout_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("warned"); // a part of each warning, in order
        QTest::newRow("0600 over TLS") << 0600 << QStringList{"--mqtt", "broker.lan", "--mqtt-tls"} << QStringList{};
        QTest::newRow("0644 over TLS") << 0644 << QStringList{"--mqtt", "broker.lan", "--mqtt-tls"}
                                       << QStringList{"can be read or changed by other users; make it its owner's alone: chmod 600 "};
        QTest::newRow("0640 over TLS") << 0640 << QStringList{"--mqtt", "broker.lan", "--mqtt-tls"}
                                       << QStringList{"chmod 600"};
        QTest::newRow("0600 in clear") << 0600 << QStringList{"--mqtt", "broker.lan"}
                                       << QStringList{"the MQTT password goes to broker.lan without TLS"};
        QTest::newRow("0666 in clear") << 0666 << QStringList{"--mqtt", "10.0.0.2:1883"}
                                       << QStringList{"chmod 600", "goes to 10.0.0.2 without TLS"};
        QTest::newRow("0600 in clear to this machine") << 0600 << QStringList{"--mqtt", "127.0.0.1"} << QStringList{};
        QTest::newRow("0600 in clear to localhost") << 0600 << QStringList{"--mqtt", "localhost"} << QStringList{};
        // WEB: a web configuration file with a metrics user and no TLS.
        QTest::newRow("metrics passwords to the network in clear")
            << 0600 << QStringList{"--mqtt", "localhost", "--metrics", "0.0.0.0:9101", "--web-config", "WEB"}
            << QStringList{"the metrics passwords in"};
        QTest::newRow("metrics passwords on this machine")
            << 0600 << QStringList{"--mqtt", "localhost", "--metrics", "9101", "--web-config", "WEB"} << QStringList{};
    }
    void passwordKeptOrSentOpenlyIsWarnedAbout()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, words);
        QFETCH(QStringList, warned);
        QTemporaryDir dir;
        const QString pw = dir.filePath(QStringLiteral("pw"));
        QVERIFY(writeFile(pw, "s3cret\n"));
        QVERIFY(::chmod(QFile::encodeName(pw).constData(), mode_t(mode)) == 0);
        const QString web = dir.filePath(QStringLiteral("web.yml"));
        QVERIFY(writeFile(web, "basic_auth_users:\n  prom: $2y$10$012345678901234567890u9H5JUZk5UJiu7LVlfrgx0JP2PkblN0e\n"));
        words.replaceInStrings(QRegularExpression(QStringLiteral("^WEB$")), web);
        LinkOptions link;
        link.port = QStringLiteral("/dev/ttyUSB0");
        CommandArgs args(QStringLiteral("serve"),
            words + QStringList{QStringLiteral("--mqtt-user"), QStringLiteral("u"), QStringLiteral("--mqtt-password-file"), pw});
        const QStringList said = SecretChecks::warnings(ServeOptions::parse(args, link));
        QCOMPARE(said.size(), warned.size());
        for (int i = 0; i < said.size(); ++i) {
            QVERIFY2(said[i].startsWith(QLatin1String("Warning: ")) && said[i].contains(warned[i]), qPrintable(said[i]));
            if (warned[i].contains(QLatin1String("chmod")))
                QVERIFY(said[i].contains(pw));
        }
    }

    // A folder of fake devices and a by-id folder of links to them, as udev makes them.
    void defaultIdIsTheAdaptersByIdNameOrThePort_data()
    {
        QTest::addColumn<QString>("port"); // relative: in the fake folders
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("name");
        QTest::newRow("adapter with a by-id link") << "dev/ttyUSB3" << 1 << "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0-1";
        QTest::newRow("same adapter through another link") << "dev/gateway" << 1 << "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0-1";
        QTest::newRow("given as its by-id link") << "by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0" << 247
                                                 << "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0-247";
        QTest::newRow("two links: the first by name, made topic-safe") << "dev/ttyACM0" << 2 << "usb-Maker_2303_x_1-if00-2";
        QTest::newRow("no by-id link: the port") << "dev/ttyS0" << 1 << "ttyS0-1";
        QTest::newRow("no such port") << "dev/ttyUSB9" << 1 << "ttyUSB9-1";
        QTest::newRow("windows") << "COM3" << 12 << "COM3-12";
    }
    void defaultIdIsTheAdaptersByIdNameOrThePort()
    {
        QFETCH(QString, port);
        QFETCH(int, address);
        QFETCH(QString, name);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("dev")) && QDir(dir.path()).mkpath(QStringLiteral("by-id")));
        const auto at = [&](const QString &path) { return dir.filePath(path); };
        for (const char *device : {"dev/ttyUSB3", "dev/ttyACM0", "dev/ttyS0"})
            QVERIFY(writeFile(at(QLatin1String(device)), ""));
        QVERIFY(QFile::link(at("dev/ttyUSB3"), at("dev/gateway")));
        QVERIFY(QFile::link(at("dev/ttyUSB3"), at("by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0")));
        QVERIFY(QFile::link(at("dev/ttyACM0"), at("by-id/usb-Maker_2303.x:1-if00")));
        QVERIFY(QFile::link(at("dev/ttyACM0"), at("by-id/usb-Other-if00")));
        const QString given = port.startsWith(QLatin1String("COM")) ? port : at(port);
        const QString id = GatewayName::forPort(given, address, at("by-id"));
        QCOMPARE(id, name);
        QVERIFY(ServeOptions::isValidName(id));
    }

    void defaultIdStaysWhenTheAdapterComesBackUnderAnotherName()
    {
        QTemporaryDir dir;
        const auto at = [&](const QString &path) { return dir.filePath(path); };
        QVERIFY(writeFile(at("ttyUSB0"), "") && writeFile(at("ttyUSB1"), ""));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("by-id")));
        const QString link = at("by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0");
        QVERIFY(QFile::link(at("ttyUSB0"), link));
        const QString before = GatewayName::forPort(at("ttyUSB0"), 1, at("by-id"));
        // Unplugged and plugged in again: udev points the same link at the new name.
        QVERIFY(QFile::remove(link) && QFile::link(at("ttyUSB1"), link));
        QCOMPARE(GatewayName::forPort(at("ttyUSB1"), 1, at("by-id")), before);
        // Without the by-id folder it is today's port name and address.
        QCOMPARE(GatewayName::forPort(at("ttyUSB1"), 1, at("nowhere")), QStringLiteral("ttyUSB1-1"));
    }

    // Reads of one channel in a row, each "A" or "B" (a device), "-" (free) or "x" (a line
    // fault: nothing readable); what the channel stands for after them and whether an entity
    // of anything else may go.
    void channelChangesCountAfterTwoReadsInARow_data()
    {
        QTest::addColumn<QString>("reads");
        QTest::addColumn<QString>("holds"); // "?" unknown
        QTest::addColumn<bool>("settled");
        QTest::newRow("first read is taken at once") << "A" << "A" << false;
        QTest::newRow("two alike") << "AA" << "A" << true;
        QTest::newRow("free once") << "AA-" << "A" << false;
        QTest::newRow("free twice") << "AA--" << "-" << true;
        QTest::newRow("free, fault, free: no row") << "AA-x-" << "A" << false;
        QTest::newRow("another device twice") << "AABB" << "B" << true;
        QTest::newRow("A B A: stays") << "ABA" << "A" << false;
        QTest::newRow("fault keeps the device") << "AAxxx" << "A" << false;
        QTest::newRow("fault from the start") << "xx" << "?" << false;
        QTest::newRow("fault, then a device") << "xA" << "A" << false;
    }
    void channelChangesCountAfterTwoReadsInARow()
    {
        QFETCH(QString, reads);
        QFETCH(QString, holds);
        QFETCH(bool, settled);
        const auto record = [](QChar read) {
            TChannelRecord r;
            r.channel = 1;
            r.rom = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
            r.status = read == QLatin1Char('-') ? ChannelStatus::FreePosition : ChannelStatus::ShortCircuit;
            if (read == QLatin1Char('A') || read == QLatin1Char('B')) {
                r.rom = GatewayModel::makeRom(0x28, read == QLatin1Char('A') ? 0xA : 0xB);
                r.status = ChannelStatus::Ok;
            }
            return r;
        };
        ChannelDevice device;
        for (const QChar read : reads)
            device.take(record(read));
        QString shown = QStringLiteral("?");
        if (device.holds() == ChannelDevice::Holds::Free)
            shown = QStringLiteral("-");
        else if (device.holdsDevice())
            shown = device.rom() == record(QLatin1Char('A')).rom ? QStringLiteral("A") : QStringLiteral("B");
        QCOMPARE(shown, holds);
        QCOMPARE(device.settled(), settled);
    }

    void controlAndBidiCharactersAreDroppedFromOutgoingText_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("sent");
        QTest::newRow("plain, accents kept") << t(u"Kotel – přívod 2 °C") << t(u"Kotel – přívod 2 °C");
        QTest::newRow("terminal escape") << t(u"Boiler\x1b[2J\x1b]0;x\x07") << t(u"Boiler[2J]0;x");
        QTest::newRow("NUL, tab, CR, LF") << QStringLiteral("a") + QChar(0) + t(u"b\tc\rd\ne") << t(u"abcde");
        QTest::newRow("DEL and C1") << t(u"a\u007fb\u0085c\u009bd\u0080") << t(u"abcd");
        QTest::newRow("right-to-left override") << t(u"invoice\u202Efdp.exe") << t(u"invoicefdp.exe");
        QTest::newRow("embeddings, isolates, marks")
            << t(u"\u202Aa\u202Bb\u202Cc\u202Dd\u2066e\u2067f\u2068g\u2069h\u200Ei\u200Fj\u061Ck")
            << t(u"abcdefghijk");
        QTest::newRow("beyond the BMP kept") << t(u"t \U0001F321") << t(u"t \U0001F321");
    }
    void controlAndBidiCharactersAreDroppedFromOutgoingText()
    {
        QFETCH(QString, given);
        QFETCH(QString, sent);
        QCOMPARE(OutgoingText::clean(given), sent);
    }

    // The file as the window reads it, its descriptions cleaned; a file that is not UTF-8 is
    // taken as Windows-1250 and said so; a directory is named as one.
    void descriptionsFileIsReadCleanedAndItsEncodingSaid()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("d.txt"));
        const auto write = [&](const QByteArray &description) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("1-WIRE-TARVIK Tool V1.09 (OBRIX)\r\nChannelNumber\tROMCode\tDescription\r\n0\t\t"
                + description + "\r\n");
        };
        write("Kotel \xc5\xbe\x1b[31m\xe2\x80\xaeX"); // UTF-8 "ž", an escape, an override
        DescriptionsSource::Loaded loaded = DescriptionsSource::load(path, 0);
        QCOMPARE(loaded.records.value(0).description, t(u"Kotel ž[31mX"));
        QVERIFY(loaded.encodingNote.isEmpty());

        write("Kotel \x9e\x85\x7f"); // Windows-1250 "ž" and "…", then DEL
        loaded = DescriptionsSource::load(path, 0);
        QCOMPARE(loaded.records.value(0).description, t(u"Kotel ž…"));
        QCOMPARE(loaded.encodingNote,
            QStringLiteral("%1 is not valid UTF-8 (byte %2): read as Windows-1250").arg(path).arg(78));

        try {
            DescriptionsSource::load(dir.path(), 0);
            QFAIL("a directory was taken");
        } catch (const CliFailure &failure) {
            QCOMPARE(failure.message,
                QStringLiteral("%1 is a directory, not a channel descriptions file").arg(dir.path()));
        }
    }

    // Every code a channel or line can carry, known or not, has words in the payloads.
    void everyStatusCodeHasAText()
    {
        for (int status = 0; status <= 255; ++status) {
            const QJsonObject channel = BridgeMessages::state(record(0x28, uint8_t(status)), 1, QString());
            QVERIFY2(!channel.value(QStringLiteral("statusText")).toString().isEmpty(), qPrintable(QString::number(status)));
            QVERIFY(!BridgeMessages::lineState(1, status).value(QStringLiteral("state")).toString().isEmpty());
        }
        QCOMPARE(BridgeMessages::statusText(254), QStringLiteral("Not read yet"));
        QCOMPARE(BridgeMessages::statusText(2), QStringLiteral("Short circuit"));
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
        QTest::addColumn<int>("channel"); // 0: no channel entity of gateway "boiler"
        QTest::addColumn<QString>("oldRom"); // empty: no entity of gateway "boiler" in the earlier form
        const QString rom = QStringLiteral("28FF15E260160574");
        const BridgeMessages boiler(QStringLiteral("boiler"), QStringLiteral("site/t"), QStringLiteral("ha"));
        QTest::newRow("ours") << boiler.channelDiscoveryTopic(40, rom) << 40 << "";
        QTest::newRow("ours, earlier form") << boiler.oldDiscoveryTopic(rom) << 0 << rom;
        QTest::newRow("ID that starts alike")
            << BridgeMessages(QStringLiteral("boiler_2"), "t", "ha").channelDiscoveryTopic(1, rom) << 0 << "";
        QTest::newRow("ID that starts alike, earlier form")
            << BridgeMessages(QStringLiteral("boiler_2"), "t", "ha").oldDiscoveryTopic(rom) << 0 << "";
        QTest::newRow("ID that ends alike, earlier form")
            << BridgeMessages(QStringLiteral("old-boiler"), QStringLiteral("t"), QStringLiteral("ha")).oldDiscoveryTopic(rom) << 0 << "";
        QTest::newRow("another discovery prefix") << "homeassistant/sensor/tarvik_boiler/ch1_" + rom + "/config" << 0 << "";
        QTest::newRow("channel 41") << "ha/sensor/tarvik_boiler/ch41_" + rom + "/config" << 0 << "";
        QTest::newRow("lower-case ROM") << "ha/sensor/tarvik_boiler/ch1_28ff15e260160574/config" << 0 << "";
        QTest::newRow("line sensor") << boiler.lineDiscoveryTopic(1) << 0 << "";
        QTest::newRow("ROM too short, earlier form") << "ha/sensor/tarvik_boiler_28FF15E26016057/config" << 0 << "";
    }
    void entityTopicsAreThisGatewaysOnly()
    {
        QFETCH(QString, topic);
        QFETCH(int, channel);
        QFETCH(QString, oldRom);
        const BridgeMessages boiler(QStringLiteral("boiler"), QStringLiteral("site/t"), QStringLiteral("ha"));
        const auto entity = boiler.channelEntityOf(topic);
        QCOMPARE(entity ? entity->channel : 0, channel);
        if (entity)
            QCOMPARE(entity->rom, QStringLiteral("28FF15E260160574"));
        QCOMPARE(boiler.romOfOldDiscoveryTopic(topic), oldRom);
    }

    void metricLabelsEscapeQuotesBackslashesAndLineEnds()
    {
        QCOMPARE(MetricsText::escapeLabel(QStringLiteral("a\"b\\c\nd")),
            QStringLiteral("a\\\"b\\\\c\\nd"));
    }
};

QTEST_MAIN(tst_BridgeMessages)
#include "tst_BridgeMessages.moc"
