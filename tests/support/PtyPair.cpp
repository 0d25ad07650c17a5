#include "PtyPair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

QByteArray PtyPair::readExactly(int count, int timeoutMs)
{
    QByteArray result;
    QDeadlineTimer deadline(timeoutMs);
    while (result.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (m_link.waitReadable(5))
            result.append(m_link.readAvailable());
    }
    return result;
}

QByteArray PtyPair::readFor(int ms)
{
    QByteArray result;
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (m_link.waitReadable(5))
            result.append(m_link.readAvailable());
    }
    return result;
}

void PtyPair::write(const QByteArray &bytes, int chunkSize, int delayMs)
{
    const int step = chunkSize > 0 ? chunkSize : int(bytes.size());
    for (int pos = 0; pos < bytes.size(); pos += step) {
        m_link.write(bytes.mid(pos, step));
        if (delayMs > 0)
            QTest::qWait(delayMs);
    }
}
