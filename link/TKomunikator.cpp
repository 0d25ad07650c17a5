#include "TKomunikator.h"

#include "ErrorGuard.h"
#include "LinkLog.h"

#include <QElapsedTimer>
#include <cstring>

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

bool TKomunikator::ReadAnswer(QByteArray &into)
{
    if (!m_port->isActive())
        return false;
    const int waiting = m_port->bytesWaiting();
    if (waiting <= 0)
        return false;
    const qsizetype at = into.size();
    into.resize(at + waiting);
    m_port->read(into.data() + at, waiting);
    return true;
}

void TKomunikator::reportReceived(const QByteArray &bytes)
{
    TFrameBuffer piece;
    for (qsizetype at = 0; at < bytes.size(); at += TFrameBuffer::Capacity) {
        piece.Len = uint8_t(qMin<qsizetype>(TFrameBuffer::Capacity, bytes.size() - at));
        memcpy(piece.Data, bytes.constData() + at, piece.Len);
        qCDebug(lcLink).noquote() << "Rx" << hex(piece);
        if (OnRxFrame)
            OnRxFrame(piece);
    }
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
    m_intervalStartMs = nowMs();
}

qint64 TKomunikator::nowMs() const
{
    if (m_clock)
        return m_clock();
    static const QElapsedTimer steady = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return steady.elapsed();
}

qint64 TKomunikator::intervalRunMs() const
{
    // A test that plays the timer keeps it stopped and gives its own clock.
    if (!m_pollTimer.isActive() && !m_clock)
        return 0;
    return qMax<qint64>(0, nowMs() - m_intervalStartMs);
}
