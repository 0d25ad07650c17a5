#pragma once

#include "LinkOptions.h"

#include <QHostAddress>
#include <QString>
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
    QString name; // the gateway's ID in topics and metric labels
    int heartbeatS = 60; // state republished at least this often
    QString descriptions; // the window's descriptions file, or empty
    std::optional<QHostAddress> metricsAddress;
    int metricsPort = 0; // 0: no metrics endpoint

    static ServeOptions parse(CommandArgs &args, const LinkOptions &link);

    // "ttyUSB0-1" for address 1 on /dev/ttyUSB0: only letters, digits, "-" and "_", which MQTT
    // topics, Home Assistant ids and metric labels all take as they are.
    static QString defaultName(const LinkOptions &link);
    static bool isValidName(const QString &name);
    // "HOST", "HOST:PORT", "[V6]:PORT"; the port stays as given when the text has none.
    // false when the text is no such address.
    static bool splitHostPort(const QString &text, QString &host, int &port);
};
