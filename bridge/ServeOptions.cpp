#include "ServeOptions.h"

#include "CliFailure.h"
#include "CommandArgs.h"
#include "GatewayName.h"
#include "ValueParser.h"
#include "WebConfig.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

constexpr int kMqttPort = 1883;
constexpr int kMqttTlsPort = 8883;

QString readable(const QString &path, const QString &option)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw CliFailure::usage(QStringLiteral("%1: %2 does not exist").arg(option, path));
    if (info.isDir())
        throw CliFailure::usage(QStringLiteral("%1: %2 is a directory").arg(option, path));
    if (!info.isFile() || !info.isReadable())
        throw CliFailure::usage(QStringLiteral("%1: %2 cannot be read").arg(option, path));
    return path;
}

int portNumber(int port, const QString &text, const QString &option)
{
    if (port < 1 || port > 65535)
        throw CliFailure::usage(
            QStringLiteral("%1 takes a port 1 to 65535 (got \"%2\")").arg(option, text));
    return port;
}

} // namespace

bool ServeOptions::splitHostPort(const QString &text, QString &host, int &port)
{
    static const QRegularExpression v6(QStringLiteral(R"(^\[([0-9A-Fa-f:.]+)\](?::(\d{1,5}))?$)"));
    static const QRegularExpression plain(QStringLiteral(R"(^([^:\s\[\]]+)(?::(\d{1,5}))?$)"));
    for (const QRegularExpression *form : {&v6, &plain}) {
        const QRegularExpressionMatch m = form->match(text.trimmed());
        if (!m.hasMatch())
            continue;
        host = m.captured(1);
        if (m.hasCaptured(2))
            port = m.captured(2).toInt();
        return true;
    }
    return false;
}

QString ServeOptions::defaultName(const LinkOptions &link)
{
    return GatewayName::forPort(link.port, link.address);
}

bool ServeOptions::isValidName(const QString &name)
{
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    return valid.match(name).hasMatch();
}

bool ServeOptions::isValidPrefix(const QString &prefix)
{
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z0-9._-]+(/[A-Za-z0-9._-]+)*$"));
    return prefix.size() <= 128 && valid.match(prefix).hasMatch();
}

ServeOptions ServeOptions::parse(CommandArgs &args, const LinkOptions &link)
{
    ServeOptions o;
    const auto mqtt = args.value(QStringLiteral("mqtt"));
    const auto user = args.value(QStringLiteral("mqtt-user"));
    const auto passwordFile = args.value(QStringLiteral("mqtt-password-file"));
    const auto caFile = args.value(QStringLiteral("mqtt-cafile"));
    const auto certFile = args.value(QStringLiteral("mqtt-cert"));
    const auto keyFile = args.value(QStringLiteral("mqtt-key"));
    const bool tls = args.flag(QStringLiteral("mqtt-tls"));
    const auto name = args.value(QStringLiteral("name"));
    const auto heartbeat = args.value(QStringLiteral("heartbeat"));
    const auto descriptions = args.value(QStringLiteral("descriptions"));
    const auto metrics = args.value(QStringLiteral("metrics"));
    const auto topicPrefix = args.value(QStringLiteral("topic-prefix"));
    const auto discoveryPrefix = args.value(QStringLiteral("discovery-prefix"));
    const bool noDiscovery = args.flag(QStringLiteral("no-discovery"));
    const auto webConfig = args.value(QStringLiteral("web-config"));
    args.finish();

    if (!mqtt)
        throw CliFailure::usage(
            QStringLiteral("serve needs --mqtt HOST[:PORT], the broker to publish to"));
    if (caFile)
        o.mqttCaFile = readable(*caFile, QStringLiteral("--mqtt-cafile"));
    if (bool(certFile) != bool(keyFile))
        throw CliFailure::usage(QStringLiteral("--mqtt-cert and --mqtt-key go together"));
    if (certFile) {
        o.mqttCertFile = readable(*certFile, QStringLiteral("--mqtt-cert"));
        o.mqttKeyFile = readable(*keyFile, QStringLiteral("--mqtt-key"));
    }
    o.mqttTls = tls || caFile || certFile;
    o.mqttPort = o.mqttTls ? kMqttTlsPort : kMqttPort;
    if (!splitHostPort(*mqtt, o.mqttHost, o.mqttPort))
        throw CliFailure::usage(
            QStringLiteral("--mqtt takes HOST or HOST:PORT (got \"%1\")").arg(*mqtt));
    portNumber(o.mqttPort, *mqtt, QStringLiteral("--mqtt"));

    if (user)
        o.mqttUser = *user;
    if (passwordFile) {
        if (!user)
            throw CliFailure::usage(QStringLiteral("--mqtt-password-file needs --mqtt-user"));
        o.mqttPasswordFile = readable(*passwordFile, QStringLiteral("--mqtt-password-file"));
        QFile file(o.mqttPasswordFile);
        if (!file.open(QIODevice::ReadOnly))
            throw CliFailure::usage(QStringLiteral("--mqtt-password-file: %1 cannot be read: %2")
                                        .arg(*passwordFile, file.errorString()));
        // The first line, without its line end: files written by editors end with one.
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        o.mqttPassword = QString::fromUtf8(line);
    }

    const QList<int> &addresses = link.addresses;
    if (!name && link.port.isEmpty())
        throw CliFailure::usage(QStringLiteral("no port given: use --port NAME"));
    const auto checked = [](const QString &id) {
        if (!isValidName(id))
            throw CliFailure::usage(
                QStringLiteral("--name takes 1 to 64 letters, digits, \"-\" or \"_\" (got \"%1\")").arg(id));
        return id;
    };
    if (addresses.size() <= 1) {
        o.name = name ? checked(QString(*name).replace(QLatin1String("%a"), QString::number(link.address))) : defaultName(link);
        o.names = {o.name};
    } else {
        // Several gateways: a name for each ("boiler,pump,hall"), or one with %a where the
        // address goes ("hall-%a"); a plain name gets the address after a "-".
        const QStringList list = name ? name->split(QLatin1Char(',')) : QStringList();
        if (list.size() > 1 && list.size() != addresses.size())
            throw CliFailure::usage(QStringLiteral("--name gives %1 names for %2 addresses: one each, or one with %a for the address")
                                        .arg(list.size())
                                        .arg(addresses.size()));
        for (int i = 0; i < addresses.size(); ++i) {
            const QString a = QString::number(addresses[i]);
            QString id;
            if (list.size() > 1)
                id = list[i].trimmed();
            else if (name)
                id = name->contains(QLatin1String("%a")) ? QString(*name).replace(QLatin1String("%a"), a) : *name + QLatin1Char('-') + a;
            else
                id = defaultName(link.at(addresses[i]));
            if (o.names.contains(id))
                throw CliFailure::usage(QStringLiteral("--name gives two gateways the ID %1").arg(id));
            o.names.append(checked(id));
        }
        o.name = o.names.first();
        // The bridge: the name without the address, or the port's.
        QString bridge = name && list.size() == 1 ? QString(*name).remove(QLatin1String("%a")) : QString();
        while (bridge.endsWith(QLatin1Char('-')) || bridge.endsWith(QLatin1Char('_')))
            bridge.chop(1);
        if (bridge.isEmpty()) {
            bridge = defaultName(link.at(0));
            bridge.chop(2); // the "-0" of address 0
        }
        o.bridgeName = checked(bridge);
        if (o.names.contains(o.bridgeName))
            throw CliFailure::usage(QStringLiteral("--name: the bridge's own ID %1 is also a gateway's").arg(o.bridgeName));
    }
    const auto prefix
        = [](const std::optional<QString> &given, const QString &option, QString &into) {
              if (!given)
                  return;
              if (!isValidPrefix(*given))
                  throw CliFailure::usage(
                      QStringLiteral("%1 takes topic levels of letters, digits, "
                                     "\".\", \"-\" or \"_\" joined by \"/\" (got \"%2\")")
                          .arg(option, *given));
              into = *given;
          };
    prefix(topicPrefix, QStringLiteral("--topic-prefix"), o.topicPrefix);
    prefix(discoveryPrefix, QStringLiteral("--discovery-prefix"), o.discoveryPrefix);
    if (noDiscovery && discoveryPrefix)
        throw CliFailure::usage(
            QStringLiteral("--discovery-prefix has no use with --no-discovery"));
    o.discovery = !noDiscovery;
    if (heartbeat)
        o.heartbeatS = ValueParser::wholeNumber(
            *heartbeat, 1, 86400, QStringLiteral("--heartbeat takes whole seconds, 1 to 86400"));
    if (descriptions)
        o.descriptions = readable(*descriptions, QStringLiteral("--descriptions"));

    if (metrics) {
        // "PORT" alone, or "ADDRESS:PORT".
        QString host;
        int port = 0;
        bool plainPort = false;
        port = metrics->toInt(&plainPort);
        if (!plainPort) {
            if (!splitHostPort(*metrics, host, port) || port == 0)
                throw CliFailure::usage(
                    QStringLiteral("--metrics takes [ADDRESS:]PORT (got \"%1\")").arg(*metrics));
            QHostAddress address;
            if (host == QLatin1String("localhost"))
                address = QHostAddress(QHostAddress::LocalHost);
            else if (!address.setAddress(host))
                throw CliFailure::usage(
                    QStringLiteral("--metrics takes a numeric address (got \"%1\")").arg(host));
            o.metricsAddress = address;
        }
        o.metricsPort = portNumber(port, *metrics, QStringLiteral("--metrics"));
    }
    if (webConfig) {
        if (!metrics)
            throw CliFailure::usage(QStringLiteral(
                "--web-config sets up the metrics endpoint: it goes with --metrics"));
        QString error;
        o.web = WebConfig::load(*webConfig, error);
        if (!o.web)
            throw CliFailure::usage(QStringLiteral("--web-config: %1").arg(error));
        o.webConfigFile = *webConfig;
    }
    return o;
}
