#include "TKomunikator.h"

#include "ErrorGuard.h"
#include "LinkLog.h"

namespace {
QString hex(const TFrameBuffer &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.Data), frame.Len).toHex(' ').toUpper();
}
} // namespace

TKomunikator::TKomunikator(TAfComPort *port, QObject *parent) : QObject(parent), m_port(port)
{
    m_pollTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] { ErrorGuard::run([this] { PollTimerTick(); }); });
    m_port->OnDataRecived = [this](TAfComPort *sender, int count) { DataReceived(sender, count); };
}

TKomunikator::~TKomunikator()
{
    m_pollTimer.stop();
    m_port->OnDataRecived = nullptr;
}

void TKomunikator::SendFrame()
{
    if (!m_port->isActive())
        return;
    qCDebug(lcLink).noquote() << "Tx" << hex(m_txFrame);
    m_port->write(m_txFrame.Data, m_txFrame.Len);
    if (OnTxFrame)
        OnTxFrame(m_txFrame);
}

void TKomunikator::Open(const QString &portName)
{
    m_counters.Reset();
    m_port->setPortName(portName);
    m_port->open();
}

void TKomunikator::Close()
{
    m_port->close();
}

bool TKomunikator::Active() const
{
    return m_port->isActive();
}

bool TKomunikator::ReadAnswer()
{
    if (!m_port->isActive())
        return false;
    const int waiting = m_port->bytesWaiting();
    if (waiting <= 0)
        return false;
    // The receive frame holds 251 bytes; an answer is at most 205. Whatever waits beyond the
    // frame's capacity cannot belong to one answer, so it is dropped here rather than left to
    // be mistaken for the start of the next answer.
    const int count = qMin(waiting, TFrameBuffer::Capacity);
    m_port->read(m_rxFrame.Data, count);
    m_rxFrame.Len = uint8_t(count);
    if (waiting > count)
        m_port->purgeReceive();
    qCDebug(lcLink).noquote() << "Rx" << hex(m_rxFrame);
    if (OnRxFrame)
        OnRxFrame(m_rxFrame);
    return true;
}

qint32 TKomunikator::UserBaudRate() const
{
    return m_port->UserBaudRate();
}

void TKomunikator::SetCountersCallback(TPocitadlo::ChangeHandler callback)
{
    m_counters.OnChange = std::move(callback);
}

void TKomunikator::setTimerInterval(int ms)
{
    m_pollTimer.setInterval(ms);
}
