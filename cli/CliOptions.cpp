#include "CliOptions.h"

#include "CliFailure.h"
#include "CommSettings.h"
#include "NetworkAddress.h"
#include "TcpTransport.h"
#include "PortNames.h"
#include "TTarvikKomunikator.h"
#include "ValueParser.h"

#include <QSettings>
#include <memory>

namespace {

const QStringList kLineOptions = {QStringLiteral("port"), QStringLiteral("baud"), QStringLiteral("address"),
                                  QStringLiteral("parity"), QStringLiteral("stopbits"), QStringLiteral("numbering"),
                                  QStringLiteral("timeout")};

// The connection the window used last; with its USB box ticked, the USB interface's fixed
// settings, as the window applies them.
LinkOptions storedLink()
{
    const std::unique_ptr<QSettings> store(CommSettings::openStore());
    const CommSettings c = CommSettings::load(*store);
    LinkOptions link;
    if (c.portName)
        link.port = *c.portName;
    else if (c.comNumber)
        link.port = PortNames::fromComNumber(*c.comNumber);
    const bool usb = c.usbChecked;
    link.baud = TTarvikKomunikator::BaudAt(usb ? TTarvikKomunikator::UsbBaudIndex : c.baudIndex) * 100;
    link.address = usb ? 1 : c.addressIndex + 1;
    link.addresses = {link.address};
    link.parity = usb ? TParity::paNone : TParity(c.parityIndex);
    link.stopBits = usb || c.stopBitIndex == 0 ? TStopBits::sbOne : TStopBits::sbTwo;
    return link;
}

void apply(CliOptions &o, const QString &name, const QString &value)
{
    const QString option = QStringLiteral("--") + name;
    if (name == QLatin1String("port")) {
        if (value.trimmed().isEmpty())
            throw CliFailure::usage(QStringLiteral("--port needs a port name"));
        o.link.port = value.trimmed();
        if (NetworkAddress::isNetworkName(o.link.port)) {
            QString why;
            const auto address = NetworkAddress::parse(o.link.port, &why);
            if (!address)
                throw CliFailure::usage(QStringLiteral("--port %1: %2 (give tcp://HOST:PORT or mbap://HOST:PORT)")
                                            .arg(o.link.port, why));
            o.link.port = address->name();
        }
    } else if (name == QLatin1String("baud")) {
        o.link.baud = ValueParser::baudRate(value, option);
    } else if (name == QLatin1String("address")) {
        // One gateway, or several on the line: "1,2,5-8".
        o.link.addresses = ValueParser::addresses(value, option);
        o.link.address = o.link.addresses.first();
    } else if (name == QLatin1String("parity")) {
        o.link.parity = ValueParser::parity(value, option);
    } else if (name == QLatin1String("stopbits")) {
        o.link.stopBits = ValueParser::stopBits(value, option);
    } else if (name == QLatin1String("numbering")) {
        o.numbering = ValueParser::wholeNumber(value, 0, 1, QStringLiteral("--numbering takes 0 (channels 0-39) or 1 (channels 1-40)"));
    } else if (name == QLatin1String("timeout")) {
        o.link.timeoutMs = ValueParser::wholeNumber(value, 1, 3600000, QStringLiteral("--timeout takes milliseconds, 1 to 3600000"));
    }
}

} // namespace

CliOptions CliOptions::parse(const QStringList &arguments)
{
    CliOptions o;
    o.link = storedLink();
    for (int i = 1; i < arguments.size(); ++i) {
        const QString word = arguments[i];
        if (word == QLatin1String("-h") || word == QLatin1String("--help")) {
            o.help = true;
            continue;
        }
        const QString name = word.startsWith(QLatin1String("--")) ? word.mid(2).section(QLatin1Char('='), 0, 0) : QString();
        if (kLineOptions.contains(name)) {
            QString value;
            if (word.contains(QLatin1Char('=')))
                value = word.section(QLatin1Char('='), 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else
                throw CliFailure::usage(QStringLiteral("--%1 needs a value").arg(name));
            apply(o, name, value);
        } else if (o.command.isEmpty()) {
            if (word.startsWith(QLatin1Char('-')))
                throw CliFailure::usage(QStringLiteral("unknown option %1 (a command's own options follow the command; see tarvik-cli --help)").arg(word));
            o.command = word;
        } else {
            o.arguments.append(word);
        }
    }
    if (!o.help && o.command.isEmpty())
        throw CliFailure::usage(QStringLiteral("no command given (see tarvik-cli --help)"));
    return o;
}

QString CliOptions::usage()
{
    return QStringLiteral(
        "Usage: tarvik-cli [OPTIONS] COMMAND [ARGS]\n"
        "The 1-WIRE-TARVIK gateway from a terminal. The line settings default to those the\n"
        "tool's window used last.\n"
        "\n"
        "Options (anywhere on the line):\n"
        "  --port NAME              serial port, e.g. /dev/ttyUSB0 or COM3, or a line reached\n"
        "                           over the network: tcp://HOST:PORT for a serial server in\n"
        "                           raw mode (RTU frames as they are), mbap://HOST:PORT for a\n"
        "                           Modbus TCP gateway; an IPv6 address in brackets, [::1]:502\n"
        "  --baud RATE              line speed in Bd, one of the gateway's: 1200 ... 230400\n"
        "  --address N              the gateway's Modbus address, 1-247; channels, watch and\n"
        "                           serve take several on one line: 1,2,5-8\n"
        "  --parity none|odd|even\n"
        "  --stopbits 1|2\n"
        "  --numbering 0|1          channels shown as 0-39 (default) or 1-40\n"
        "  --timeout MS             how long an answer may take (default: from the speed); over\n"
        "                           the network also how much later than on the line it may\n"
        "                           come (default %1)\n"
        "  -h, --help               this text\n"
        "\n"
        "Commands:\n"
        "  channels [--json]                 the 40 channels, both lines and the versions\n"
        "  watch [--count N] [--json]        the same at every poll cycle; --json gives one\n"
        "                                    JSON object per line\n"
        "  log FILE.csv|- [--period S] [--duration S] [--descriptions FILE.txt] [--plain]\n"
        "        [--yes]\n"
        "                                    temperatures into a CSV log, as the window's recorder;\n"
        "                                    --plain for spreadsheets: ISO 8601 times and bare\n"
        "                                    numbers with a decimal point (units in the header)\n"
        "  backup FILE.bin|- [--yes]         save the channels' configuration\n"
        "  restore FILE.bin [--verify] [--force] [--yes]\n"
        "                                    write a configuration back into the gateway\n"
        "  find-new LINE                     find the one new device on line 1 or 2\n"
        "  find-new-all LINE                 list the devices no channel holds yet\n"
        "  find-all LINE                     list every device on the line\n"
        "  save-new CH                       store the device find-new found in channel CH\n"
        "  save-found INDEX CH               store the listed device INDEX in channel CH\n"
        "  delete CH                         free channel CH\n"
        "  write-rom CH CODE [--force]       write a ROM code (16 hex digits) into channel CH;\n"
        "                                    one failing its CRC only with --force\n"
        "  settings [--set NAME=VALUE ...]   the gateway's port settings and power control;\n"
        "                                    NAME: com0.baud com0.address com0.parity\n"
        "                                    com0.stopbits com0.delay, the same for com1, power\n"
        "  firmware FILE.bin [--yes]         update the gateway's firmware\n"
        "  scan [--bauds LIST] [--addresses RANGE]\n"
        "                                    find the gateways on the line: speed and addresses\n"
        "  read REG [COUNT] [--format dec|hex|signed] [--json]\n"
        "                                    COUNT holding registers from REG (1-125, default\n"
        "                                    1; function 03), one line \"REG VALUE\" each;\n"
        "                                    REG 0-65535 or 0x hex\n"
        "  write REG VALUE [VALUE...] [--yes]\n"
        "                                    write registers from REG: one value with function\n"
        "                                    06, several (up to 121) with 16; VALUE 0-65535,\n"
        "                                    -32768 to -1 or 0x hex. A register the tool uses\n"
        "                                    for a setting, a command, the firmware update or\n"
        "                                    a ROM code only after Yes (--yes)\n"
        "  serve --mqtt HOST[:PORT] [--name ID] [--metrics [ADDRESS:]PORT] [--heartbeat S]\n"
        "        [--descriptions FILE.txt] [--mqtt-user NAME --mqtt-password-file FILE]\n"
        "        [--mqtt-tls] [--mqtt-cafile FILE] [--mqtt-cert FILE --mqtt-key FILE]\n"
        "        [--topic-prefix P] [--web-config FILE.yml]\n"
        "        [--discovery-prefix P | --no-discovery]\n"
        "                                    the channels into an MQTT broker (with Home\n"
        "                                    Assistant discovery) and Prometheus until\n"
        "                                    SIGTERM; topics P/ID/... (default tarvik),\n"
        "                                    discovery under P/ (default homeassistant);\n"
        "                                    --no-discovery: state only, no entity.\n"
        "                                    With --address 1,2,5-8 one bridge serves every\n"
        "                                    gateway of the line: --name gives an ID each\n"
        "                                    (a,b,c), or one with %a for the address (hall-%a;\n"
        "                                    default PORT-ADDRESS), --descriptions a file each\n"        "                                    --web-config: TLS and passwords for /metrics\n"
        "                                    (tls_server_config, basic_auth_users)\n"
        "\n"
        "Exit codes: 0 done, 1 link or gateway failure, 2 usage error.")
        .arg(TcpTransport::DefaultAnswerAllowanceMs);
}

QString CliOptions::commandUsage(const QString &command)
{
    // A command's entry starts with two spaces and its name, its further lines are indented
    // deeper; the entries sit between "Commands:" and the blank line after them.
    const QStringList lines = usage().split(QLatin1Char('\n'));
    const qsizetype commands = lines.indexOf(QStringLiteral("Commands:"));
    QStringList entry;
    for (qsizetype i = commands + 1; commands >= 0 && i < lines.size() && !lines[i].isEmpty(); ++i) {
        const QString &line = lines[i];
        const bool starts = line.size() > 2 && line[2] != QLatin1Char(' ');
        if (starts && !entry.isEmpty())
            break;
        if (starts ? line.mid(2).section(QLatin1Char(' '), 0, 0) == command : !entry.isEmpty())
            entry.append(line.mid(2));
    }
    if (entry.isEmpty())
        return QString();
    return QStringLiteral("Usage: tarvik-cli [OPTIONS] %1\n\n"
                          "The line options (--port, --baud, --address, --parity, --stopbits,\n"
                          "--numbering, --timeout) go anywhere on the line; tarvik-cli --help\n"
                          "lists them and every command.\n\n"
                          "Exit codes: 0 done, 1 link or gateway failure, 2 usage error.")
        .arg(entry.join(QLatin1Char('\n')));
}
