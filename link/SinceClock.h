#pragma once

#include <QtGlobal>

// Time since a moment (a request went out, a byte came), kept twice: on a steady clock, and as
// the sum of the intervals of the timer that drives the work. The larger counts: the clock
// covers a tick that came late, the sum a test that plays the timer without time passing.
class SinceClock
{
public:
    // The moment is now (nowMs on the steady clock); runMs of the timer's current interval had
    // already run and is not part of the time since.
    void restart(qint64 nowMs, qint64 runMs)
    {
        m_atMs = nowMs;
        m_ticksMs = -runMs;
    }
    // The timer ticked, or another timer let this much time pass.
    void add(qint64 ms) { m_ticksMs += ms; }
    qint64 elapsedMs(qint64 nowMs) const { return qMax(m_ticksMs, nowMs - m_atMs); }
    // On the steady clock alone.
    qint64 clockMs(qint64 nowMs) const { return nowMs - m_atMs; }

private:
    qint64 m_atMs = 0;
    qint64 m_ticksMs = 0;
};
