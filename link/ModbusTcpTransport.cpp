#include "ModbusTcpTransport.h"

#include "LinkLog.h"

QByteArray ModbusTcpTransport::outgoing(const QByteArray &frame)
{
    QString why;
    const auto mbap = m_framing.request(frame, &why);
    if (!mbap) {
        qCWarning(lcLink).noquote()
            << "request not sent over Modbus TCP:" << why << frame.toHex(' ');
        return {};
    }
    return *mbap;
}

QByteArray ModbusTcpTransport::incoming(const QByteArray &bytes)
{
    return m_framing.answers(bytes);
}

void ModbusTcpTransport::connectionStarts()
{
    m_framing.reset();
}
