#include "PtyLink.h"

#include "PtyTermios.h"

#include <QFile>
#include <QFileInfo>
#include <stdexcept>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
std::runtime_error systemError(const char *what)
{
    return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}
} // namespace

PtyLink::PtyLink()
{
    int slave = -1;
    char name[256] = {};
    if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
        throw systemError("Cannot create a pseudo-terminal");
    m_slavePath = QString::fromLocal8Bit(name);

    // Raw from the start, so nothing the gateway sends is echoed or reinterpreted before the
    // tool opens its side.
    termios tio {};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    ::tcsetattr(slave, TCSANOW, &tio);
    // The slave stays open here too: with no slave open the master reads end in EIO (and
    // polls as ready) until the tool opens its side, which would spin the gateway's reader.
    m_keeper = slave;

    const int flags = ::fcntl(m_master, F_GETFL);
    ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    // A program the simulator's process starts (a test's tool process) must not hold the line
    // open: an unplugged line would stay alive in it.
    for (const int fd : {m_master, m_keeper})
        ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

PtyLink::~PtyLink()
{
    closeMaster();
}

void PtyLink::linkTo(const QString &linkPath)
{
    const QFileInfo existing(linkPath);
    if (existing.isSymLink() || existing.exists()) {
        if (!existing.isSymLink())
            throw std::runtime_error(
                QStringLiteral("%1 exists and is not a link; not replacing it").arg(linkPath).toStdString());
        QFile::remove(linkPath);
    }
    if (::symlink(m_slavePath.toLocal8Bit().constData(), linkPath.toLocal8Bit().constData()) != 0)
        throw systemError(("Cannot create the link " + linkPath.toStdString()).c_str());
    m_link = linkPath;
}

bool PtyLink::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            // The terminal's buffer is full: nobody reads the other side. A real line loses
            // what nobody receives, so the rest is dropped; waiting for room would stop the
            // simulator's event loop, and with it its answers to SIGTERM, for as long as the
            // tool does not read.
            m_dropped += bytes.size() - done;
            return true;
        } else {
            return false;
        }
    }
    return m_master >= 0;
}

QByteArray PtyLink::readAvailable()
{
    QByteArray result;
    char buffer[1024];
    while (m_master >= 0) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break; // EAGAIN: nothing more; EIO: the tool's side is not open
        result.append(buffer, n);
    }
    return result;
}

bool PtyLink::waitReadable(int timeoutMs)
{
    if (m_master < 0)
        return false;
    pollfd p {m_master, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN);
}

LineSettings PtyLink::lineSettings() const
{
    LineSettings s;
    if (m_master < 0)
        return s;
    termios tio {};
    ::tcgetattr(m_master, &tio);
    s.baudRate = qint32(ptyBaudRate(m_master));
    s.parity = !(tio.c_cflag & PARENB) ? TParity::paNone
               : (tio.c_cflag & PARODD) ? TParity::paOdd
                                        : TParity::paEven;
    s.stopBits = (tio.c_cflag & CSTOPB) ? TStopBits::sbTwo : TStopBits::sbOne;
    return s;
}

void PtyLink::closeMaster()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    if (m_keeper >= 0) {
        ::close(m_keeper);
        m_keeper = -1;
    }
    if (!m_link.isEmpty()) {
        QFile::remove(m_link);
        m_link.clear();
    }
}
