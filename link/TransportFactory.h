#pragma once

#include "SerialTransport.h"

#include <QString>
#include <memory>

// The transport a port name calls for: "tcp://HOST:PORT" a TCP connection carrying RTU frames
// (TcpTransport), "mbap://HOST:PORT" Modbus TCP (ModbusTcpTransport), any other name a serial
// port (QtSerialTransport). A network name that does not parse still gets its network
// transport, whose open says what is wrong with it.
class TransportFactory
{
public:
    enum class Kind { Serial, RtuOverTcp, ModbusTcp };

    static Kind kindOf(const QString &portName);
    static std::unique_ptr<SerialTransport> create(Kind kind);
    static std::unique_ptr<SerialTransport> create(const QString &portName)
    {
        return create(kindOf(portName));
    }
};
