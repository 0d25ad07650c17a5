#include "TPocitadlo.h"

void TPocitadlo::Reset()
{
    m_tx = m_rx = m_err = 0;
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
        CountError();
    } else {
        m_timedOut = false;
    }
    notify();
}

void TPocitadlo::AnswerReceived(bool ok)
{
    if (!m_awaiting)
        return;
    m_awaiting = false;
    m_timedOut = false;
    if (ok)
        increment(m_rx);
    else
        CountError();
    notify();
}

void TPocitadlo::CountError()
{
    increment(m_err);
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
