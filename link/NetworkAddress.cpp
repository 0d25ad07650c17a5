#include "NetworkAddress.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {

const QString kRtuScheme = QStringLiteral("tcp://");
const QString kModbusScheme = QStringLiteral("mbap://");

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// The TCP port of "PORT": digits only, 1..65535.
bool parsePort(const QString &text, quint16 &port, QString *error)
{
    static const QRegularExpression digits(QStringLiteral("^\\d{1,5}$"));
    if (text.isEmpty())
        return fail(error, QStringLiteral("the TCP port is missing (HOST:PORT)"));
    const int value = digits.match(text).hasMatch() ? text.toInt() : -1;
    if (value < 1 || value > 65535)
        return fail(error, QStringLiteral("the TCP port must be 1 to 65535, not \"%1\"").arg(text));
    port = quint16(value);
    return true;
}

bool checkHost(const QString &host, QString *error)
{
    if (host.isEmpty())
        return fail(error, QStringLiteral("the host is missing (HOST:PORT)"));
    if (host.contains(QLatin1Char(':')))
        return fail(
            error, QStringLiteral("an IPv6 address goes in brackets, as in [%1]:502").arg(host));
    // Host names as DNS and hosts files have them; digits and dots alone must be an IPv4
    // address, or the resolver would make something else of them ("10.1" is 10.0.0.1).
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9_.-]{0,252})$"));
    static const QRegularExpression numeric(QStringLiteral("^[0-9.]+$"));
    static const QRegularExpression ipv4(
        QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,3})$"));
    if (!name.match(host).hasMatch())
        return fail(error, QStringLiteral("\"%1\" is not a host name or address").arg(host));
    if (numeric.match(host).hasMatch()) {
        const auto m = ipv4.match(host);
        bool valid = m.hasMatch();
        for (int i = 1; valid && i <= 4; ++i)
            valid = m.captured(i).toInt() <= 255;
        if (!valid)
            return fail(error, QStringLiteral("\"%1\" is not an IPv4 address").arg(host));
    }
    return true;
}

} // namespace

bool NetworkAddress::isNetworkName(const QString &name)
{
    const QString n = name.trimmed();
    return n.startsWith(kRtuScheme, Qt::CaseInsensitive)
        || n.startsWith(kModbusScheme, Qt::CaseInsensitive);
}

std::optional<NetworkAddress> NetworkAddress::parse(const QString &name, QString *error)
{
    const QString n = name.trimmed();
    NetworkAddress a;
    QString rest;
    if (n.startsWith(kRtuScheme, Qt::CaseInsensitive)) {
        a.protocol = Protocol::RtuOverTcp;
        rest = n.mid(kRtuScheme.size());
    } else if (n.startsWith(kModbusScheme, Qt::CaseInsensitive)) {
        a.protocol = Protocol::ModbusTcp;
        rest = n.mid(kModbusScheme.size());
    } else {
        fail(error, QStringLiteral("a network address begins with tcp:// or mbap://"));
        return std::nullopt;
    }

    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0) {
            fail(error, QStringLiteral("the IPv6 address has no closing bracket"));
            return std::nullopt;
        }
        a.host = rest.mid(1, close - 1);
        QHostAddress v6;
        if (!v6.setAddress(a.host) || v6.protocol() != QAbstractSocket::IPv6Protocol) {
            fail(error, QStringLiteral("\"%1\" is not an IPv6 address").arg(a.host));
            return std::nullopt;
        }
        const QString after = rest.mid(close + 1);
        if (!after.startsWith(QLatin1Char(':'))) {
            fail(error, QStringLiteral("the TCP port is missing (HOST:PORT)"));
            return std::nullopt;
        }
        portText = after.mid(1);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0) {
            fail(error, QStringLiteral("the TCP port is missing (HOST:PORT)"));
            return std::nullopt;
        }
        a.host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (!checkHost(a.host, error))
            return std::nullopt;
    }
    if (!parsePort(portText, a.port, error))
        return std::nullopt;
    return a;
}

QString NetworkAddress::hostAndPort() const
{
    const QString shownHost
        = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(port);
}

QString NetworkAddress::name() const
{
    return (protocol == Protocol::ModbusTcp ? kModbusScheme : kRtuScheme) + hostAndPort();
}
