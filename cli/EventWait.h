#pragma once

#include "CliFailure.h"

#include <QObject>
#include <functional>
#include <optional>

class InterruptSignal;
class QEventLoop;

// Lets a command wait for the link while Qt's event loop turns: the port, the poll cycle and
// the timers all run in the loop, and the wait ends as soon as its condition holds. Callbacks
// inside the loop never throw; they call check() when something changed, or fail() to end the
// wait with a failure, which until() then throws.
class EventWait : public QObject
{
    Q_OBJECT
public:
    enum class Result { Done, Interrupted };

    explicit EventWait(InterruptSignal &interrupt);

    // Runs the event loop until done() holds. An interruptible wait also ends at Ctrl+C (at once
    // when it came before); a failure raised meanwhile is thrown.
    Result until(const std::function<bool()> &done, bool interruptible = true);
    void check();
    void fail(const CliFailure &failure);
    bool interrupted() const { return m_interrupted; }

private:
    void onInterrupted();
    void throwIfFailed();

    QEventLoop *m_loop = nullptr;
    std::function<bool()> m_done;
    bool m_interruptible = true;
    bool m_interrupted = false;
    std::optional<CliFailure> m_failure;
};
