#pragma once

#include "TCounterSnapshot.h"
#include "TErrorSplit.h"

#include <functional>

// Counts the read requests sent to the gateway (Tx), the answers that passed the CRC check
// (Rx) and the errors (bad answers plus unanswered requests), and notices when a request went
// unanswered. Every counted event is reported through OnChange. No count exceeds 1000000: an
// increment past that resets all counts and flags instead. Each error is also counted by its
// kind (Errors()); the kinds add up to Err.
class TPocitadlo
{
public:
    static constexpr int32_t MaxCount = 1000000;
    using ChangeHandler = std::function<void(const TCounterSnapshot &)>;

    void Reset();
    // A counted read request went out. If the previous one is still awaited, it timed out.
    void FrameSent();
    // A full-length answer was taken; ok when its CRC was right, else an error of the kind
    // given. Ignored unless a counted request is awaited (an answer after an intervening write
    // is not this request's answer).
    void AnswerReceived(bool ok, LinkFault failure = LinkFault::Crc);
    // An error of the given kind; bytes that answered nothing unless told otherwise.
    void CountError(LinkFault kind = LinkFault::Noise);
    TCounterSnapshot Snapshot() const;

    bool TimedOut() const { return m_timedOut; }
    bool Awaiting() const { return m_awaiting; }
    void setAwaiting(bool awaiting) { m_awaiting = awaiting; }
    int32_t Tx() const { return m_tx; }
    int32_t Rx() const { return m_rx; }
    int32_t Err() const { return m_err; }
    const TErrorSplit &Errors() const { return m_errors; }

    ChangeHandler OnChange;

private:
    // Adds one to the count, or resets everything when it has reached MaxCount.
    void increment(int32_t &count);
    void notify();

    int32_t m_tx = 0;
    int32_t m_rx = 0;
    int32_t m_err = 0;
    TErrorSplit m_errors;
    bool m_awaiting = false;
    bool m_timedOut = false;
};
