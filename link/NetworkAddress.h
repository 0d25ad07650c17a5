#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// A gateway line reached over the network, named where a port is named:
// - "tcp://HOST:PORT": RTU frames unchanged over a TCP socket (a serial device server in raw
//   mode);
// - "mbap://HOST:PORT": Modbus TCP (a Modbus TCP-to-RTU gateway).
// HOST is a host name, an IPv4 address or an IPv6 address in brackets ("[::1]"); PORT is the
// TCP port, 1 to 65535. The scheme is taken in any case.
struct NetworkAddress
{
    enum class Protocol { RtuOverTcp, ModbusTcp };

    Protocol protocol = Protocol::RtuOverTcp;
    QString host; // without the brackets of an IPv6 address
    quint16 port = 0;

    // Whether the name is meant as a network address (it begins with "tcp://" or "mbap://"),
    // well-formed or not: such a name is never a serial device.
    static bool isNetworkName(const QString &name);
    // The address the name gives; nullopt, with why in *error, when it gives none.
    static std::optional<NetworkAddress> parse(const QString &name, QString *error = nullptr);

    // "127.0.0.1:5020", "[::1]:502", "gw.example:4001".
    QString hostAndPort() const;
    // The address as a port name: "tcp://127.0.0.1:5020", "mbap://[::1]:502".
    QString name() const;
};
