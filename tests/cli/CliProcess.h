#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

// tarvik-cli run as a technician runs it, while the test's event loop keeps turning: the
// simulated gateway lives in the test program and answers from that loop. The child inherits
// the test program's settings folder and gets the C locale, so its number formats are known.
class CliProcess
{
public:
    struct Result
    {
        bool finished = false;
        int exitCode = -1;
        QString out;
        QString err;
        qint64 ms = 0;
    };

    void start(const QStringList &args);
    // Sends the child's stdout to a file (such as /dev/full) instead of collecting it; before start().
    void setStandardOutputFile(const QString &path) { m_process.setStandardOutputFile(path); }
    // Gives the child this file (such as a pseudo-terminal, a technician at a terminal) as its
    // stdin; before start().
    void setStandardInputFile(const QString &path) { m_process.setStandardInputFile(path); }
    // Waits until the process ends or timeoutMs pass (it is killed then).
    Result finish(int timeoutMs = 50000);
    // Ctrl+C.
    void interrupt();
    static Result run(const QStringList &args, int timeoutMs = 50000);

private:
    QProcess m_process;
    QElapsedTimer m_clock;
};
