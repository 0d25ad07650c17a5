#include "MemoryTransport.h"

#include <QMetaObject>

MemoryTransport::MemoryTransport(QObject *parent) : SerialTransport(parent) {}

void MemoryTransport::connectPair(MemoryTransport &a, MemoryTransport &b)
{
    a.m_peer = &b;
    b.m_peer = &a;
}

SerialTransport::OpenResult MemoryTransport::open(const QString &portName)
{
    if (m_openResult != OpenResult::Ok)
        return m_openResult;
    m_portName = portName;
    m_open = true;
    m_input.clear();
    return OpenResult::Ok;
}

void MemoryTransport::close()
{
    m_open = false;
    m_held = false;
    m_input.clear();
}

bool MemoryTransport::isOpen() const
{
    return m_open;
}

bool MemoryTransport::applySettings(const LineSettings &settings)
{
    if (settings.baudRate <= 0 || settings.baudRate == m_refusedBaud
        || (m_refuseParity && settings.parity == m_refusedParity))
        return false;
    m_settings = settings;
    return true;
}

qint64 MemoryTransport::bytesWaiting() const
{
    return m_open ? m_input.size() : 0;
}

qint64 MemoryTransport::read(char *data, qint64 maxCount)
{
    const qint64 n = qMin<qint64>(maxCount, m_input.size());
    if (n > 0) {
        memcpy(data, m_input.constData(), size_t(n));
        m_input.remove(0, n);
    }
    return n;
}

qint64 MemoryTransport::write(const char *data, qint64 count)
{
    if (!m_open)
        return -1;
    const QByteArray bytes(data, count);
    // A lone end keeps what it writes for the test to take. A joined end hands it to its peer
    // only: a copy would grow for as long as the line runs (the demo gateway over a weekend).
    if (m_peer) {
        QPointer<MemoryTransport> peer = m_peer;
        QMetaObject::invokeMethod(
            peer, [peer, bytes] { if (peer) peer->deliver(bytes); }, Qt::QueuedConnection);
    } else {
        m_written.append(bytes);
    }
    return count;
}

qint64 MemoryTransport::bytesPendingWrite() const
{
    return m_pendingWrite;
}

void MemoryTransport::purgeReceive()
{
    m_input.clear();
}

void MemoryTransport::purgeTransmit() {}

QString MemoryTransport::lastErrorText() const
{
    return QStringLiteral("in-memory line");
}

void MemoryTransport::inject(const QByteArray &bytes)
{
    deliver(bytes);
}

void MemoryTransport::loseDevice(const QString &reason)
{
    if (!m_open)
        return;
    m_open = false;
    m_held = false;
    m_input.clear();
    emit deviceLost(reason);
}

QByteArray MemoryTransport::takeWritten()
{
    return std::exchange(m_written, {});
}

void MemoryTransport::deliver(const QByteArray &bytes)
{
    if (!m_open)
        return;
    m_input.append(bytes);
    if (!m_held)
        emit dataArrived();
}

void MemoryTransport::holdArrivals(bool hold)
{
    if (m_canHold && m_open)
        m_held = hold;
}
