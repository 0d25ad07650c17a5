#include "TPocitadlo.h"

void TPocitadlo::Reset()
{
    m_tx = m_rx = m_err = 0;
    m_errors = {};
    m_awaiting = false;
    m_timedOut = false;
}

void TPocitadlo::increment(int32_t &count)
{
    if (count >= MaxCount)
        Reset();
    else
        ++count;
}

void TPocitadlo::FrameSent()
{
    increment(m_tx);
    if (m_awaiting) {
        m_timedOut = true;
        CountError(LinkFault::Timeout);
    } else {
        m_timedOut = false;
    }
    notify();
}

void TPocitadlo::AnswerReceived(bool ok, LinkFault failure)
{
    if (!m_awaiting)
        return;
    m_awaiting = false;
    m_timedOut = false;
    if (ok)
        increment(m_rx);
    else
        CountError(failure);
    notify();
}

void TPocitadlo::CountError(LinkFault kind)
{
    const int i = LinkFaults::index(kind);
    if (m_err >= MaxCount) {
        Reset();
    } else {
        ++m_err;
        // Kept apart so the kinds always add up to Err; None is counted as noise.
        ++m_errors.counts[size_t(i < 0 ? LinkFaults::index(LinkFault::Noise) : i)];
    }
}

TCounterSnapshot TPocitadlo::Snapshot() const
{
    return TCounterSnapshot{m_rx, m_tx, m_err, m_timedOut};
}

void TPocitadlo::notify()
{
    if (OnChange)
        OnChange(Snapshot());
}
