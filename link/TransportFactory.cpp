#include "TransportFactory.h"

#include "ModbusTcpTransport.h"
#include "NetworkAddress.h"
#include "QtSerialTransport.h"
#include "TcpTransport.h"

TransportFactory::Kind TransportFactory::kindOf(const QString &portName)
{
    if (!NetworkAddress::isNetworkName(portName))
        return Kind::Serial;
    return portName.trimmed().startsWith(QLatin1String("mbap://"), Qt::CaseInsensitive)
        ? Kind::ModbusTcp
        : Kind::RtuOverTcp;
}

std::unique_ptr<SerialTransport> TransportFactory::create(Kind kind)
{
    switch (kind) {
    case Kind::RtuOverTcp:
        return std::make_unique<TcpTransport>();
    case Kind::ModbusTcp:
        return std::make_unique<ModbusTcpTransport>();
    case Kind::Serial:
        break;
    }
    return std::make_unique<QtSerialTransport>();
}
