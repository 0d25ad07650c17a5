#include "SimProcess.h"

#include <QTest>
#include <QUrl>
#include <csignal>

SimProcess::SimProcess(const QStringList &arguments)
{
    m_process.start(QStringLiteral(TARVIK_SIM_EXE), arguments);
}

SimProcess::~SimProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(1000);
}

bool SimProcess::waitReady(int ms)
{
    if (!QTest::qWaitFor(
            [&] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; },
            ms)
        || !m_process.canReadLine())
        return false;
    const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (!line.startsWith(QLatin1String("ready ")))
        return false;
    m_served = line.mid(6).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return true;
}

quint16 SimProcess::port(const QString &scheme) const
{
    for (const QString &place : m_served) {
        const QUrl url(place);
        if (url.scheme() == scheme)
            return quint16(url.port(0));
    }
    return 0;
}

QByteArray SimProcess::errors()
{
    return m_process.readAllStandardError();
}
