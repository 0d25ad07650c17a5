#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

class QSocketNotifier;

// Ctrl+C (SIGINT) and SIGTERM as a Qt signal on the main thread, so a command can stop at a
// point of its choosing instead of dying between two frames. A second Ctrl+C ends the program
// at once, as usual.
class InterruptSignal : public QObject
{
    Q_OBJECT
public:
    InterruptSignal();
    ~InterruptSignal() override;

    bool raised() const { return m_raised; }

signals:
    void interrupted();

private:
    void onRaised();

    bool m_raised = false;
    std::unique_ptr<QSocketNotifier> m_notifier; // Unix: the read end of the signal pipe
    QTimer m_poll;                               // elsewhere: looks at the flag the handler sets
};
