#pragma once

#include "MbapFraming.h"
#include "TcpTransport.h"

// A gateway line reached through a Modbus TCP-to-RTU gateway, named "mbap://HOST:PORT". The
// link above still writes and reads RTU frames: each request goes out as Modbus TCP under the
// next transaction id, with the RTU address as the unit id, and the answer carrying that id
// comes back as the RTU frame the gateway sent on its line. A request with a wrong CRC is not
// sent (the gateway would not have taken it off a serial line either).
class ModbusTcpTransport final : public TcpTransport
{
    Q_OBJECT
public:
    using TcpTransport::TcpTransport;

    const MbapFraming &framing() const { return m_framing; }

protected:
    QByteArray outgoing(const QByteArray &frame) override;
    QByteArray incoming(const QByteArray &bytes) override;
    void connectionStarts() override;
    NetworkAddress::Protocol protocol() const override
    {
        return NetworkAddress::Protocol::ModbusTcp;
    }

private:
    MbapFraming m_framing;
};
