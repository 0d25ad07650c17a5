#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>

// Where a simulator server listens: [HOST:]PORT, HOST an IP address (IPv6 in brackets) or
// localhost, loopback when left out; port 0 lets the system pick a free one.
struct ListenAddress
{
    QHostAddress host{QHostAddress::LocalHost};
    quint16 port = 0;

    // nullopt for text of another form.
    static std::optional<ListenAddress> parse(const QString &text);
};

// HOST:PORT as a client names it, IPv6 addresses in brackets.
QString hostAndPort(const QHostAddress &host, quint16 port);
