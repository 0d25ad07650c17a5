#include "BusScheduler.h"

#include "ErrorGuard.h"
#include "TAfComPort.h"
#include "TModbusKomunikator.h"

BusScheduler::BusScheduler(TAfComPort &port, QObject *parent) : QObject(parent), m_port(port)
{
    m_turnTimer.setSingleShot(true);
    m_turnTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_turnTimer, &QTimer::timeout, this, [this] { ErrorGuard::run([this] { passTurn(); }); });
}

BusScheduler::~BusScheduler()
{
    m_turnTimer.stop();
    m_port.OnDataRecived = nullptr;
}

void BusScheduler::add(TModbusKomunikator &gateway)
{
    if (m_gateways.contains(&gateway))
        return;
    m_gateways.append(&gateway);
    gateway.setBus(this);
    // Every gateway's communicator took the port's data for itself when it was made; the line's
    // bytes go to the gateway whose exchange it is.
    m_port.OnDataRecived = [this](TAfComPort *, int count) { onData(count); };
}

void BusScheduler::open(const QString &portName)
{
    close();
    m_port.setPortName(portName);
    m_port.open();
    for (TModbusKomunikator *gateway : std::as_const(m_gateways))
        gateway->StartOnOpenPort();
}

void BusScheduler::close()
{
    m_turnTimer.stop();
    for (TModbusKomunikator *gateway : std::as_const(m_gateways))
        gateway->Close();
    m_port.close();
    m_waiting.clear();
    m_holder = nullptr;
    m_lastTurnMs.clear();
}

bool BusScheduler::mayTalk(TModbusKomunikator &gateway)
{
    if (m_gateways.size() <= 1) {
        m_holder = &gateway;
        return true;
    }
    if (gateway.UnansweredReads() >= SilentAfterReads) {
        // A silent gateway: its next probe waits, and it does not queue for the line meanwhile.
        const auto last = m_lastTurnMs.constFind(&gateway);
        if (last != m_lastTurnMs.cend() && gateway.nowMs() - *last < m_probeIntervalMs)
            return false;
    }
    if (m_waiting.isEmpty() && lineBusyMs() == 0) {
        take(gateway);
        return true;
    }
    if (!m_waiting.contains(&gateway))
        m_waiting.append(&gateway);
    scheduleTurn(lineBusyMs());
    return false;
}

bool BusScheduler::holdsLine(const TModbusKomunikator &gateway) const
{
    if (m_holder)
        return m_holder == &gateway;
    // Before the first request, bytes are old whoever reads them: the first gateway does.
    return !m_gateways.isEmpty() && m_gateways.first() == &gateway;
}

void BusScheduler::forget(TModbusKomunikator &gateway)
{
    m_waiting.removeAll(&gateway);
    m_lastTurnMs.remove(&gateway);
    if (m_holder == &gateway)
        m_holder = nullptr;
}

int BusScheduler::roundMs() const
{
    int ms = 0;
    for (const TModbusKomunikator *gateway : m_gateways)
        ms += gateway->QuietLineMs();
    return ms;
}

void BusScheduler::onData(int count)
{
    TModbusKomunikator *reader = m_holder ? m_holder : (m_gateways.isEmpty() ? nullptr : m_gateways.first());
    if (!reader)
        return;
    reader->DataReceived(&m_port, count);
    // The exchange may be over now: the next gateway goes after the frame gap.
    if (!m_waiting.isEmpty())
        scheduleTurn(lineBusyMs());
}

int BusScheduler::lineBusyMs()
{
    return m_holder ? m_holder->LineBusyMs() : 0;
}

void BusScheduler::scheduleTurn(int ms)
{
    ms = qMax(0, ms);
    if (m_turnTimer.isActive() && m_turnTimer.remainingTime() <= ms)
        return;
    m_turnTimer.start(ms);
}

void BusScheduler::passTurn()
{
    while (!m_waiting.isEmpty()) {
        if (const int busy = lineBusyMs(); busy > 0) {
            scheduleTurn(busy);
            return;
        }
        TModbusKomunikator *next = m_waiting.takeFirst();
        take(*next);
        // A gateway whose cycle has nothing to send any more (it paused, its port closed)
        // leaves the line to the next one.
        if (next->TakeTurn())
            return;
    }
}

void BusScheduler::take(TModbusKomunikator &gateway)
{
    // Whatever is still held in the driver belongs to the exchange before.
    if (m_port.holdingArrivals())
        m_port.releaseArrivals();
    TModbusKomunikator *previous = std::exchange(m_holder, &gateway);
    if (previous && previous != &gateway)
        previous->LineHandedOver();
    m_lastTurnMs.insert(&gateway, gateway.nowMs());
}
