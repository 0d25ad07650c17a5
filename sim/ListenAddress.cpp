#include "ListenAddress.h"

std::optional<ListenAddress> ListenAddress::parse(const QString &text)
{
    ListenAddress result;
    QString portText = text;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        QString host = text.left(colon);
        portText = text.mid(colon + 1);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        else if (host.contains(QLatin1Char(':')))
            return std::nullopt; // an IPv6 address needs its brackets before the port
        if (host == QLatin1String("localhost"))
            result.host = QHostAddress(QHostAddress::LocalHost);
        else if (!result.host.setAddress(host))
            return std::nullopt;
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port > 65535 || portText.startsWith(QLatin1Char('+')))
        return std::nullopt;
    result.port = quint16(port);
    return result;
}

QString hostAndPort(const QHostAddress &host, quint16 port)
{
    const QString name = host.protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(host.toString())
        : host.toString();
    return QStringLiteral("%1:%2").arg(name).arg(port);
}
