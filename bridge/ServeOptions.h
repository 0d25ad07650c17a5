#pragma once

#include "LinkOptions.h"
#include "WebConfig.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>

class CommandArgs;

// What `tarvik-cli serve` was asked for, checked before anything is opened: a bad value throws
// a usage CliFailure whose text says what is expected.
struct ServeOptions
{
    QString mqttHost;
    int mqttPort = 1883;
    QString mqttUser;
    std::optional<QString> mqttPassword; // the first line of --mqtt-password-file
    QString mqttCaFile;
    bool mqttTls = false; // --mqtt-tls, --mqtt-cafile or a client certificate
    QString mqttCertFile;
    QString mqttKeyFile;
    QString mqttPasswordFile;
    QString name; // the (first) gateway's ID in topics and metric labels
    // Every gateway's ID, in the order of --address. With several gateways on the line the
    // bridge itself has a name too: its MQTT client and the topic PREFIX/BRIDGE/bridge, which
    // says "offline" (the broker's last will) when the bridge ends or dies.
    QStringList names;
    QString bridgeName; // empty with one gateway
    QString topicPrefix = QStringLiteral("tarvik"); // the gateway's topics are PREFIX/ID/...
    QString discoveryPrefix = QStringLiteral("homeassistant"); // Home Assistant's discovery
    bool discovery = true; // off: state only, no entity configured or withdrawn
    int heartbeatS = 60; // state republished at least this often
    QString descriptions; // the window's descriptions file, or empty
    std::optional<QHostAddress> metricsAddress; // none given: 127.0.0.1
    int metricsPort = 0; // 0: no metrics endpoint
    // --web-config: TLS and passwords for the metrics endpoint (none: plain and open).
    std::optional<WebConfig> web;
    QString webConfigFile;

    static ServeOptions parse(CommandArgs &args, const LinkOptions &link);

    // The ID of the gateway at link's address when --name gives none (GatewayName::forPort).
    static QString defaultName(const LinkOptions &link);
    static bool isValidName(const QString &name);
    // Topic levels of letters, digits, ".", "-" and "_", separated by "/": no wildcard, no
    // empty level, nothing a subscriber would have to escape.
    static bool isValidPrefix(const QString &prefix);
    // "HOST", "HOST:PORT", "[V6]:PORT"; the port stays as given when the text has none.
    // false when the text is no such address.
    static bool splitHostPort(const QString &text, QString &host, int &port);
};
