#include "PtyGatewayLine.h"

PtyGatewayLine::PtyGatewayLine(QObject *parent) : GatewayLine(parent)
{
    m_notifier = std::make_unique<QSocketNotifier>(m_link.masterFd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &GatewayLine::readyRead);
}

QByteArray PtyGatewayLine::readAll()
{
    return m_link.readAvailable();
}

void PtyGatewayLine::write(const QByteArray &bytes)
{
    m_link.write(bytes);
}

LineSettings PtyGatewayLine::toolSettings(bool *parityKnown) const
{
    // Linux forces 8 bits without parity on a pseudo-terminal: parity cannot be compared.
    if (parityKnown)
        *parityKnown = false;
    return m_link.lineSettings();
}
