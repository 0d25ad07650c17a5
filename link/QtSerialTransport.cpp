#include "QtSerialTransport.h"

#include "LinkLog.h"
#include "PortLimits.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>
#endif


QtSerialTransport::QtSerialTransport(QObject *parent) : SerialTransport(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialTransport::dataArrived);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialTransport::onError);
}

SerialTransport::OpenResult QtSerialTransport::open(const QString &portName)
{
    m_lost = false;
    m_held = false;
    m_port.setPortName(portName);
    // The driver's input queue: what is not read stays in the kernel until there is room.
    m_port.setReadBufferSize(kInBufSize);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_lastError = m_port.errorString();
        const auto error = m_port.error();
        m_port.clearError();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return OpenResult::NotFound;
        case QSerialPort::OpenError:
            return OpenResult::Busy;
        case QSerialPort::PermissionError: {
#ifdef Q_OS_UNIX
            // QSerialPort says "permission" both for a port in use (locked) and for a device
            // the user may not open; only the second one can be mended by the user's rights.
            const QByteArray path = QFileInfo(m_port.portName()).isAbsolute()
                                        ? m_port.portName().toLocal8Bit()
                                        : ("/dev/" + m_port.portName()).toLocal8Bit();
            if (::access(path.constData(), R_OK | W_OK) != 0)
                return OpenResult::NoAccess;
#endif
            return OpenResult::Busy;
        }
        default:
            return OpenResult::Failed;
        }
    }
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    // Adapters powered from the modem lines need DTR and RTS on; a line without them (a
    // pseudo-terminal) refuses, which does no harm.
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(true);
    m_port.clearError();
    return OpenResult::Ok;
}

void QtSerialTransport::close()
{
    m_held = false;
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
}

bool QtSerialTransport::isOpen() const
{
    return m_port.isOpen();
}

bool QtSerialTransport::applySettings(const LineSettings &s)
{
    const qint32 oldBaud = m_port.baudRate();
    const auto oldParity = m_port.parity();
    const auto oldStop = m_port.stopBits();

    const auto parity = s.parity == TParity::paOdd    ? QSerialPort::OddParity
                        : s.parity == TParity::paEven ? QSerialPort::EvenParity
                                                      : QSerialPort::NoParity;
    const auto stop = s.stopBits == TStopBits::sbTwo ? QSerialPort::TwoStop : QSerialPort::OneStop;

    const bool ok = m_port.setBaudRate(s.baudRate) && m_port.setParity(parity)
                    && m_port.setStopBits(stop);
    if (!ok) {
        m_lastError = m_port.errorString();
        m_port.setBaudRate(oldBaud);
        m_port.setParity(oldParity);
        m_port.setStopBits(oldStop);
        m_port.clearError();
    }
    return ok;
}

qint64 QtSerialTransport::driverBytes() const
{
#ifdef Q_OS_UNIX
    int n = 0;
    const int savedErrno = errno;
    const bool counted = m_port.isOpen() && ::ioctl(int(m_port.handle()), FIONREAD, &n) == 0;
    errno = savedErrno;
    if (counted && n > 0)
        return n;
#endif
    return 0;
}

qint64 QtSerialTransport::bytesWaiting() const
{
    // QSerialPort only knows what its notifier has read; what came since (all of it while
    // arrivals are held) is still in the driver, and a look at the line must see it too.
    return m_port.isOpen() ? m_port.bytesAvailable() + driverBytes() : 0;
}

qint64 QtSerialTransport::read(char *data, qint64 maxCount)
{
    // QSerialPort's buffer holds the older bytes; the driver's come after them.
    qint64 n = m_port.read(data, maxCount);
    // Reading from QSerialPort's buffer switches its notifier back on.
    if (m_held)
        setReadNotices(false);
    if (n < 0)
        return n;
#ifdef Q_OS_UNIX
    // A failure here (the device going away) is QSerialPort's to find and report: errno is
    // left as it was, so its message is not ours.
    const int savedErrno = errno;
    while (n < maxCount && driverBytes() > 0) {
        const ssize_t got = ::read(int(m_port.handle()), data + n, size_t(maxCount - n));
        if (got > 0)
            n += got;
        else if (got < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    errno = savedErrno;
#endif
    return n;
}

qint64 QtSerialTransport::write(const char *data, qint64 count)
{
    // QSerialPort only queues the bytes and sends them once the event loop finds the port
    // writable, after whatever is queued before (a repaint of the counters, say); a request
    // leaves when its tick says, so it goes out now, as far as the driver takes it.
    const qint64 written = m_port.write(data, count);
    if (written > 0)
        m_port.flush();
    return written;
}

qint64 QtSerialTransport::bytesPendingWrite() const
{
    return m_port.bytesToWrite();
}

void QtSerialTransport::purgeReceive()
{
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Input);
}

void QtSerialTransport::purgeTransmit()
{
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Output);
}

QString QtSerialTransport::lastErrorText() const
{
    return m_lastError;
}

bool QtSerialTransport::canHoldArrivals() const
{
#ifdef Q_OS_UNIX
    return true;
#else
    return false;
#endif
}

void QtSerialTransport::holdArrivals(bool hold)
{
    if (!canHoldArrivals() || !m_port.isOpen() || hold == m_held)
        return;
    m_held = hold;
    setReadNotices(!hold);
}

void QtSerialTransport::setReadNotices(bool on)
{
    // QSerialPort watches its descriptor with a read notifier of its own (a child object);
    // switched off, the event loop no longer polls the port for input. One closed earlier may
    // still be waiting for its deletion: only the open descriptor's is touched.
    const auto handle = qintptr(m_port.handle());
    const auto notifiers = m_port.findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read && notifier->socket() == handle)
            notifier->setEnabled(on);
    }
}

void QtSerialTransport::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    if (!m_port.isOpen() || m_lost)
        return;
    m_lost = true;
    m_held = false;
    const QString reason = m_port.errorString();
    qCWarning(lcLink).noquote() << "device lost:" << m_port.portName() << reason;
    m_port.close();
    emit deviceLost(reason);
}
