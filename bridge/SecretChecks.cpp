#include "SecretChecks.h"

#include "ServeOptions.h"

#include <QFileInfo>
#include <QHostAddress>

bool SecretChecks::isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QStringList SecretChecks::warnings(const ServeOptions &options)
{
    QStringList out;
    if (!options.mqttPasswordFile.isEmpty()) {
        const QFileInfo file(options.mqttPasswordFile);
        constexpr auto others
            = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
        if (file.permissions() & others)
            out << QStringLiteral("Warning: the password file %1 can be read or changed by other "
                                  "users; make it its owner's alone: chmod 600 %1")
                       .arg(options.mqttPasswordFile);
    }
    if (options.mqttPassword && !options.mqttTls && !isLoopback(options.mqttHost))
        out << QStringLiteral("Warning: the MQTT password goes to %1 without TLS, readable on "
                              "the way; use --mqtt-tls (the system's certificate authorities) "
                              "or --mqtt-cafile FILE")
                   .arg(options.mqttHost);
    return out;
}
