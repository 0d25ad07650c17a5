#include "MemoryGatewayLine.h"

MemoryGatewayLine::MemoryGatewayLine(MemoryTransport *toolEnd, QObject *parent)
    : GatewayLine(parent), m_toolEnd(toolEnd)
{
    MemoryTransport::connectPair(m_end, *toolEnd);
    m_end.open(QStringLiteral("gateway"));
    connect(&m_end, &SerialTransport::dataArrived, this, &GatewayLine::readyRead);
}

QByteArray MemoryGatewayLine::readAll()
{
    QByteArray bytes(int(m_end.bytesWaiting()), Qt::Uninitialized);
    bytes.resize(int(m_end.read(bytes.data(), bytes.size())));
    return bytes;
}

void MemoryGatewayLine::write(const QByteArray &bytes)
{
    m_end.write(bytes.constData(), bytes.size());
}

LineSettings MemoryGatewayLine::toolSettings(bool *parityKnown) const
{
    if (parityKnown)
        *parityKnown = true;
    return m_toolEnd ? m_toolEnd->settings() : LineSettings{};
}
