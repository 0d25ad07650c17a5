#include "CliProcess.h"

#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

void CliProcess::start(const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    m_process.setProcessEnvironment(env);
    m_clock.start();
    m_process.start(QStringLiteral(TARVIK_CLI_EXE), args);
    m_process.waitForStarted();
    // No terminal and nothing to read: a question cannot be asked.
    m_process.closeWriteChannel();
}

CliProcess::Result CliProcess::finish(int timeoutMs)
{
    Result r;
    r.finished = QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
    if (!r.finished) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    r.ms = m_clock.elapsed();
    r.exitCode = m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    r.out = QString::fromUtf8(m_process.readAllStandardOutput());
    r.err = QString::fromUtf8(m_process.readAllStandardError());
    return r;
}

void CliProcess::interrupt()
{
#ifdef Q_OS_UNIX
    ::kill(pid_t(m_process.processId()), SIGINT);
#endif
}

CliProcess::Result CliProcess::run(const QStringList &args, int timeoutMs)
{
    CliProcess p;
    p.start(args);
    return p.finish(timeoutMs);
}
