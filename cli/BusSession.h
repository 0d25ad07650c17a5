#pragma once

#include "BusScheduler.h"
#include "GatewaySession.h"
#include "LinkPort.h"

#include <memory>
#include <vector>

class EventWait;

// Several gateways at different addresses on one line, each read through a session of its
// own, one exchange on the line at a time. The port goes away for all of them at once.
class BusSession
{
public:
    // One session per address of link.addresses, in that order.
    BusSession(const LinkOptions &link, EventWait &wait);
    ~BusSession();

    // Opens the port and starts every gateway's cycle; throws CliFailure.
    void open();
    void close();
    int size() const { return int(m_sessions.size()); }
    GatewaySession &session(int i) { return *m_sessions[size_t(i)]; }
    BusScheduler &scheduler() { return m_bus; }
    TAfComPort &port() { return m_port.port(); }

private:
    LinkPort m_port;
    BusScheduler m_bus;
    // Made after the scheduler and gone before it: the scheduler only ever meets live gateways.
    std::vector<std::unique_ptr<GatewaySession>> m_sessions;
};
