#include "BusSession.h"

#include "CliFailure.h"
#include "ComPortError.h"

BusSession::BusSession(const LinkOptions &link, EventWait &wait) : m_port(link), m_bus(m_port.port())
{
    for (int address : link.addresses)
        m_sessions.push_back(std::make_unique<GatewaySession>(m_port, m_bus, address, wait));
    m_port.port().OnClosed = [this](TAfComPort *, const QString &reason) {
        for (const auto &session : m_sessions)
            session->portLost(reason);
    };
}

BusSession::~BusSession()
{
    close();
    m_port.port().OnClosed = nullptr;
    m_sessions.clear();
}

void BusSession::open()
{
    m_port.requirePort();
    try {
        m_bus.open(m_port.link().port);
    } catch (const ComPortError &e) {
        throw m_port.failureWithReason(e);
    }
}

void BusSession::close()
{
    for (const auto &session : m_sessions)
        session->close();
    // The last write goes out before the port closes under the gateways.
    m_port.close();
    m_bus.close();
}
