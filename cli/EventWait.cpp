#include "EventWait.h"

#include "InterruptSignal.h"

#include <QEventLoop>

EventWait::EventWait(InterruptSignal &interrupt)
{
    connect(&interrupt, &InterruptSignal::interrupted, this, &EventWait::onInterrupted);
}

EventWait::Result EventWait::until(const std::function<bool()> &done, bool interruptible)
{
    throwIfFailed();
    if (done())
        return Result::Done;
    if (interruptible && m_interrupted)
        return Result::Interrupted;
    QEventLoop loop;
    m_loop = &loop;
    m_done = done;
    m_interruptible = interruptible;
    loop.exec();
    m_loop = nullptr;
    m_done = nullptr;
    throwIfFailed();
    return done() ? Result::Done : Result::Interrupted;
}

void EventWait::check()
{
    if (m_loop && m_done && m_done())
        m_loop->quit();
}

void EventWait::fail(const CliFailure &failure)
{
    // The first failure is the cause; what follows from it is not news.
    if (!m_failure)
        m_failure = failure;
    if (m_loop)
        m_loop->quit();
}

void EventWait::onInterrupted()
{
    m_interrupted = true;
    if (m_loop && m_interruptible)
        m_loop->quit();
}

void EventWait::throwIfFailed()
{
    if (!m_failure)
        return;
    const CliFailure failure = *m_failure;
    m_failure.reset();
    throw failure;
}
