#pragma once

#include <QString>

// Which readings a log row takes. The poll cycle reads each channel once a round, so rows
// closer together than a round hold the same, latest values, and rows further apart hold
// what came since the row before. A channel's value goes into a row while it was read since
// the row before or within the last whole round (and one read's turn more, for an answer that
// comes later in its turn than the one before it); a channel unread for longer than that,
// with no read since the last row, gets an empty cell: the gateway did not answer for it.
class LogFreshness
{
public:
    // cycleMs: one round of the poll cycle's reads; turnMs: one read's turn in it.
    LogFreshness(int cycleMs, int turnMs) : m_cycleMs(cycleMs), m_turnMs(turnMs) {}

    int cycleMs() const { return m_cycleMs; }
    // How long a reading stays the latest one.
    int freshForMs() const { return m_cycleMs + m_turnMs; }
    // ageMs: since the channel was last read; below 0 when it never was.
    bool isFresh(bool readSinceLastRow, qint64 ageMs) const
    {
        return readSinceLastRow || (ageMs >= 0 && ageMs <= freshForMs());
    }

    // "values change at most every 3.5 s at 9600 Bd" when a period of periodMs is shorter than
    // the round of cycleMs at baud; empty otherwise.
    static QString shortPeriodNote(qint64 periodMs, int cycleMs, qint32 baud);

private:
    int m_cycleMs;
    int m_turnMs;
};
