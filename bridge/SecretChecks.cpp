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

namespace {

bool othersMayRead(const QString &path)
{
    constexpr auto others
        = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    return !path.isEmpty() && (QFileInfo(path).permissions() & others);
}

} // namespace

QStringList SecretChecks::warnings(const ServeOptions &options)
{
    QStringList out;
    for (const QString &secret : {options.mqttPasswordFile, options.mqttKeyFile,
             options.web ? options.web->keyFile : QString()}) {
        if (othersMayRead(secret))
            out << QStringLiteral("Warning: the secret file %1 can be read or changed by other "
                                  "users; make it its owner's alone: chmod 600 %1")
                       .arg(secret);
    }
    if (options.mqttPassword && !options.mqttTls && !isLoopback(options.mqttHost))
        out << QStringLiteral("Warning: the MQTT password goes to %1 without TLS, readable on "
                              "the way; use --mqtt-tls (the system's certificate authorities) "
                              "or --mqtt-cafile FILE")
                   .arg(options.mqttHost);
    if (options.web && !options.web->users.isEmpty() && !options.web->tls()
        && options.metricsAddress && !options.metricsAddress->isLoopback())
        out << QStringLiteral("Warning: the metrics passwords in %1 come over the network without "
                              "TLS, readable on the way; add a tls_server_config")
                   .arg(options.webConfigFile);
    return out;
}
