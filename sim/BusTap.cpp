#include "BusTap.h"

#include <utility>

BusTap::BusTap(GatewayLine &line, QObject *parent)
    : GatewayLine(parent)
    , m_line(line)
{
}

void BusTap::deliver(const QByteArray &bytes)
{
    m_input.append(bytes);
    if (!m_held)
        emit readyRead();
}

QByteArray BusTap::readAll()
{
    return std::exchange(m_input, {});
}

void BusTap::write(const QByteArray &bytes)
{
    m_line.write(bytes);
}

void BusTap::holdReading(bool hold)
{
    // The gateway reads what waited once it lets go.
    m_held = hold;
}

LineSettings BusTap::toolSettings(bool *parityKnown) const
{
    return m_line.toolSettings(parityKnown);
}

QString BusTap::toolPortName() const
{
    return m_line.toolPortName();
}
