#include "TAfComPort.h"

#include "ComPortError.h"
#include "ErrorGuard.h"
#include "LinkLog.h"
#include "NetworkAddress.h"
#include "PortNames.h"

TAfComPort::TAfComPort(QObject *parent)
    : TAfComPort(TransportFactory::create(TransportFactory::Kind::Serial), parent)
{
    m_choosesTransport = true;
}

TAfComPort::TAfComPort(std::unique_ptr<SerialTransport> transport, QObject *parent) : QObject(parent)
{
    m_repeatTimer.setTimerType(Qt::PreciseTimer);
    m_repeatTimer.setInterval(RepeatIntervalMs);
    connect(&m_repeatTimer, &QTimer::timeout, this, &TAfComPort::repeatTimerTick);
    m_holdTimer.setTimerType(Qt::PreciseTimer);
    m_holdTimer.setSingleShot(true);
    connect(&m_holdTimer, &QTimer::timeout, this, [this] {
        m_transport->holdArrivals(false);
        // Bytes already taken from the driver are reported now; those still in it come with
        // the transport's next arrival, as soon as the event loop looks.
        raiseDataReceived();
    });
    useTransport(std::move(transport));
}

void TAfComPort::useTransport(std::unique_ptr<SerialTransport> transport)
{
    if (m_transport) {
        disconnect(m_transport.get(), nullptr, this, nullptr);
        m_transport->close();
    }
    m_transport = std::move(transport);
    connect(m_transport.get(), &SerialTransport::dataArrived, this, &TAfComPort::onDataArrived);
    connect(m_transport.get(), &SerialTransport::deviceLost, this, &TAfComPort::onDeviceLost);
}

TAfComPort::~TAfComPort()
{
    // The owner is going away: no notifications from the final close.
    OnDataRecived = nullptr;
    OnClosed = nullptr;
    m_transport->close();
}

void TAfComPort::raise(const QString &message) const
{
    throw ComPortError(message, objectName());
}

void TAfComPort::setPortName(const QString &name)
{
    if (name == m_portName)
        return;
    const bool wasOpen = isActive();
    if (wasOpen)
        close();
    m_portName = name;
    if (wasOpen)
        open();
}

int TAfComPort::ComNumber() const
{
    return PortNames::comNumberOf(m_portName);
}

void TAfComPort::setComNumber(int n)
{
    setPortName(PortNames::fromComNumber(n));
}

void TAfComPort::applyWhileOpen(const LineSettings &settings)
{
    if (isActive() && !m_transport->applySettings(settings)) {
        qCWarning(lcLink).noquote() << "line settings refused:" << m_transport->lastErrorText();
        raise(QStringLiteral("Error setting parameters from DCB"));
    }
    m_settings = settings;
}

void TAfComPort::setUserBaudRate(qint32 baud)
{
    LineSettings s = m_settings;
    s.baudRate = baud;
    applyWhileOpen(s);
}

void TAfComPort::setParity(TParity parity)
{
    LineSettings s = m_settings;
    s.parity = parity;
    applyWhileOpen(s);
}

void TAfComPort::setStopBits(TStopBits stopBits)
{
    LineSettings s = m_settings;
    s.stopBits = stopBits;
    applyWhileOpen(s);
}

void TAfComPort::open()
{
    if (isActive())
        return;
    const QString shown = PortNames::inMessage(m_portName);
    const int n = PortNames::comNumberOf(m_portName);
    m_lastOpen = SerialTransport::OpenResult::NotFound;
    if (m_portName.trimmed().isEmpty())
        raise(QStringLiteral("Invalid port number (%1)").arg(PortNames::fromComNumber(0)));
    if (PortNames::isComName(m_portName) && n <= 0)
        raise(QStringLiteral("Invalid port number (%1)").arg(shown));
    if (m_choosesTransport) {
        const auto kind = TransportFactory::kindOf(m_portName);
        if (kind != m_transportKind) {
            useTransport(TransportFactory::create(kind));
            m_transportKind = kind;
        }
    }

#ifdef Q_OS_WIN
    const QString device = n > 0 ? PortNames::windowsDevicePath(n) : m_portName;
#else
    const QString device = m_portName;
#endif
    m_lastOpen = m_transport->open(device);
    if (m_lastOpen != SerialTransport::OpenResult::Ok)
        raiseOpenFailure(m_lastOpen, shown, device);
    if (!m_transport->applySettings(m_settings)) {
        m_lastOpen = SerialTransport::OpenResult::Failed;
        m_transport->close();
        raise(QStringLiteral("Error setting parameters from DCB"));
    }
    m_transport->purgeReceive();
    qCDebug(lcLink).noquote() << "opened" << device << m_settings.baudRate;
}

void TAfComPort::raiseOpenFailure(SerialTransport::OpenResult result, const QString &shown, const QString &device) const
{
    if (NetworkAddress::isNetworkName(m_portName)) {
        // Nobody there, refused, not allowed: the reason is the network's, and says which.
        qCWarning(lcLink).noquote() << "connect failed:" << device << m_transport->lastErrorText();
        raise(QStringLiteral("Can't connect to %1 (%2)").arg(shown, m_transport->lastErrorText()));
    }
    switch (result) {
    case SerialTransport::OpenResult::Ok:
        break;
    case SerialTransport::OpenResult::NotFound:
        raise(QStringLiteral("Invalid port number (%1)").arg(shown));
    case SerialTransport::OpenResult::NoAccess:
        raise(QStringLiteral("Can't open device %1 (access denied: add your user to the "
                             "\"dialout\" group, then log out and in again)")
                  .arg(shown));
    case SerialTransport::OpenResult::Busy:
        raise(QStringLiteral("Can't open device %1 (the port is in use by another program)").arg(shown));
    case SerialTransport::OpenResult::Failed:
        break;
    }
    qCWarning(lcLink).noquote() << "open failed:" << device << m_transport->lastErrorText();
    raise(QStringLiteral("Can't open device %1").arg(shown));
}

void TAfComPort::close()
{
    m_repeatTimer.stop();
    m_holdTimer.stop();
    if (!m_transport->isOpen())
        return;
    m_transport->purgeTransmit();
    m_transport->purgeReceive();
    m_transport->close();
    qCDebug(lcLink).noquote() << "closed" << m_portName;
}

bool TAfComPort::isActive() const
{
    return m_transport->isOpen();
}

int TAfComPort::bytesWaiting() const
{
    return int(qMin<qint64>(m_transport->bytesWaiting(), INT_MAX));
}

void TAfComPort::read(void *buffer, int count)
{
    if (count <= 0)
        return;
    const qint64 n = isActive() ? m_transport->read(static_cast<char *>(buffer), count) : 0;
    if (n != count)
        raise(QStringLiteral("Read data error"));
}

void TAfComPort::write(const void *buffer, int count)
{
    if (count <= 0)
        return;
    const int pending = int(qMin<qint64>(m_transport->bytesPendingWrite(), OutBufSize));
    const int free = isActive() ? OutBufSize - pending : 0;
    if (count > free || m_transport->write(static_cast<const char *>(buffer), count) != count)
        raise(QStringLiteral("Write data error [requested: %1, free: %2]").arg(count).arg(free));
}

void TAfComPort::purgeReceive()
{
    m_transport->purgeReceive();
}

void TAfComPort::holdArrivals(int ms)
{
    if (ms <= 0 || !isActive() || !m_transport->canHoldArrivals())
        return;
    m_transport->holdArrivals(true);
    m_holdTimer.start(ms);
}

void TAfComPort::releaseArrivals()
{
    if (!m_holdTimer.isActive())
        return;
    m_holdTimer.stop();
    m_transport->holdArrivals(false);
}

void TAfComPort::onDataArrived()
{
    raiseDataReceived();
}

void TAfComPort::repeatTimerTick()
{
    raiseDataReceived();
}

void TAfComPort::raiseDataReceived()
{
    const int count = bytesWaiting();
    if (count > 0 && OnDataRecived)
        ErrorGuard::run([&] { OnDataRecived(this, count); });
    // Bytes still unread: raise the event again after 200 ms of quiet.
    if (isActive() && bytesWaiting() > 0)
        m_repeatTimer.start();
    else
        m_repeatTimer.stop();
}

void TAfComPort::onDeviceLost(const QString &reason)
{
    m_repeatTimer.stop();
    m_holdTimer.stop();
    m_transport->close();
    if (OnClosed)
        ErrorGuard::run([&] { OnClosed(this, reason); });
}
