#include "TModbusKomunikator.h"

#include "BlockContent.h"
#include "BusScheduler.h"
#include "LinkMessages.h"
#include "ModbusCrc.h"
#include "Prompts.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <stdexcept>

TModbusKomunikator::TModbusKomunikator(TAfComPort *port, QObject *parent)
    : TKomunikator(port, parent)
{
    m_answerLength = uint8_t(5 + 2 * m_registerCount);
    SetPollInterval(500);
}

void TModbusKomunikator::Open(const QString &portName)
{
    TKomunikator::Open(portName);
    startCycle();
}

void TModbusKomunikator::StartOnOpenPort()
{
    m_counters.Reset();
    startCycle();
}

void TModbusKomunikator::startCycle()
{
    // Another gateway, or another adapter, may be on the line now.
    resetLine();
    m_answerDelayMs = UnknownAnswerDelayMs;
    m_lineEchoes = false;
    m_oldBursts = 0;
    m_doubtfulAnswers = 0;
    m_unansweredReads = 0;
    // The first advancing poll reads the service block (index 4).
    m_blockIndex = 3;
    // A read left outstanding when the port closed has no answer to come on the new line: it
    // is neither a timeout nor owed the pause after one, so the first request goes one poll
    // interval from now (queued writes go on at their own pace).
    m_awaitingAnswer = false;
    m_tickDeferred = false;
    m_arrivedSinceTick = false;
    if (m_cycleState == Pausing)
        m_cycleState = Polling;
    setTimerInterval(m_cycleState == Writing ? WriteIntervalMs : m_pollInterval);
    m_pollTimer.start();
    tickBegins();
}

void TModbusKomunikator::Close()
{
    TKomunikator::Close();
    m_pollTimer.stop();
    resetLine();
    if (m_bus)
        m_bus->forget(*this);
}

void TModbusKomunikator::resetLine()
{
    m_sendWhenFree = nullptr;
    m_expected = AnswerMatcher();
    m_match = {};
    m_received.clear();
    // An answer not yet passed on when the line goes is not passed on.
    m_pending.reset();
    m_ownRead = false;
    m_needQuiet = false;
    m_repeat = false;
    m_retrying = false;
    m_oldBurst = false;
    restartQuietClock();
}

void TModbusKomunikator::SetBaudRate(qint32 baud)
{
    m_port->setUserBaudRate(baud);
    if (baud != 0)
        SetPollInterval(PollIntervalFor(baud));
}

void TModbusKomunikator::SetPollInterval(int ms)
{
    m_pollInterval = ms;
    setTimerInterval(ms);
}

void TModbusKomunikator::RequestBlock(int b)
{
    if (b < 0 || b >= PollBlockCount)
        return;
    m_blockIndex = uint8_t(b == 0 ? PollBlockCount - 1 : b - 1);
}

bool TModbusKomunikator::QueueWrites(const QList<TWriteEntry> &entries)
{
    if (!Active()) {
        Prompts::current().information(QString::fromLatin1(kPortInactiveMessage));
        return false;
    }
    if (!m_writeQueue.isEmpty())
        return false;
    m_writeQueue = entries.mid(0, MaxQueuedWrites);
    return true;
}

void TModbusKomunikator::QueueWrite(uint16_t value, uint16_t address)
{
    QueueWrites({TWriteEntry{value, address}});
}

void TModbusKomunikator::AppendCrc()
{
    const uint16_t crc = ModbusCrc::compute(m_txFrame.Data, m_txFrame.Len);
    m_txFrame.Data[m_txFrame.Len] = ModbusCrc::lowByte(crc);
    m_txFrame.Data[m_txFrame.Len + 1] = ModbusCrc::highByte(crc);
    m_txFrame.Len += 2;
}

bool TModbusKomunikator::AnswerCrcValid() const
{
    const int len = m_rxFrame.Len;
    if (len < 3)
        return false;
    const uint16_t crc = ModbusCrc::compute(m_rxFrame.Data, size_t(len - 2));
    return ModbusCrc::lowByte(crc) == m_rxFrame.Data[len - 2]
           && ModbusCrc::highByte(crc) == m_rxFrame.Data[len - 1];
}

void TModbusKomunikator::sendCounted()
{
    expectAnswer();
    SendFrame();
    m_counters.FrameSent();
    m_counters.setAwaiting(true);
    m_awaitingAnswer = true;
    holdForAnswer();
}

void TModbusKomunikator::sendUncounted(bool ownRead)
{
    // A read answer still due is given up for the write's; should it come after all, it must
    // not be taken for the next read's.
    const bool readAbandoned = m_awaitingAnswer;
    if (readAbandoned) {
        m_awaitingAnswer = false;
        if (OnReadFailed)
            OnReadFailed(m_lastBlockIndex, ReadFault::Abandoned);
    }
    expectAnswer();
    m_ownRead = ownRead;
    m_lastRequest = answerOf(m_expected.expectsAnswer() ? RequestOutcome::Pending : RequestOutcome::Lost);
    SendFrame();
    m_counters.setAwaiting(false);
    if (readAbandoned) {
        m_repeat = true;
        m_needQuiet = true;
    }
    holdForAnswer();
}

void TModbusKomunikator::expectAnswer()
{
    // A write whose answer had not come when the next request went out is lost.
    if (m_lastRequest.outcome == RequestOutcome::Pending)
        m_lastRequest = answerOf(RequestOutcome::Lost);
    // Bytes from before this request cannot be its answer.
    if (!m_received.isEmpty())
        reportReceived(std::exchange(m_received, {}));
    m_expected = Active() ? AnswerMatcher(QByteArray(reinterpret_cast<const char *>(m_txFrame.Data), m_txFrame.Len))
                          : AnswerMatcher();
    m_expected.setLineEchoes(m_lineEchoes);
    m_match = {};
    m_inTimeBytes = 0;
    m_ownRead = false;
    // Ticks add whole intervals: the part of the running one already gone is not the answer's.
    m_sinceRequest.restart(nowMs(), intervalRunMs());
    m_arrivedSinceTick = false;
    // The wait for a quiet line is over; what comes from now on is this request's.
    m_needQuiet = false;
    m_oldBurst = false;
    restartQuietClock();
}

void TModbusKomunikator::restartQuietClock()
{
    m_sinceActivity.restart(nowMs(), intervalRunMs());
}

int TModbusKomunikator::QuietLineMs() const
{
    // The request and an answer of the cycle's reads on the line, the gateway's delay, the margin
    // and what a network in between adds.
    const qint64 charUs = m_port->lineSettings().charTimeUs();
    return AnswerMatcher::onLineMs(8 + m_answerLength + 3.5, charUs) + m_answerDelayMs + AnswerMarginMs
           + m_port->answerAllowanceMs();
}

int TModbusKomunikator::QuietWaitMs() const
{
    // Modbus keeps at least 3.5 quiet characters between frames, whatever came before.
    const int needed = m_needQuiet ? QuietLineMs() : frameGapMs();
    const qint64 quiet = m_sinceActivity.elapsedMs(nowMs());
    return int(qMax<qint64>(0, needed - quiet));
}

int TModbusKomunikator::charsOnLineMs(double characters) const
{
    return AnswerMatcher::onLineMs(characters, m_port->lineSettings().charTimeUs());
}

int TModbusKomunikator::AnswerTimeoutMs() const
{
    if (!m_expected.expectsAnswer())
        return 0;
    return m_expected.exchangeOnLineMs(m_port->lineSettings().charTimeUs()) + m_answerDelayMs + AnswerMarginMs
           + m_port->answerAllowanceMs();
}

int TModbusKomunikator::AnswerDueMs() const
{
    return m_expected.expectsAnswer() ? m_expected.exchangeOnLineMs(m_port->lineSettings().charTimeUs()) : 0;
}

void TModbusKomunikator::holdForAnswer()
{
    if (!m_expected.expectsAnswer() || !Active())
        return;
    // The answer must be taken by its timeout at the latest: the hold ends before it.
    const int left = answerWaitMs() - 1;
    if (left <= 0)
        return;
    int wantMs = 0;
    if (!m_match.started && m_received.isEmpty()) {
        const qint64 elapsed = m_sinceRequest.clockMs(nowMs());
        wantMs = int(AnswerDueMs() - elapsed);
    }
    if (wantMs <= 0) {
        // Due, and not (all) there: a late gateway or an adapter that holds bytes back. Wait
        // for the time of the bytes still missing, as far as they can be counted (noise before
        // the answer makes it look further along than it is; that costs one more look).
        const qsizetype expected = m_expected.answerLength() + (m_lineEchoes ? m_expected.request().size() : 0);
        const qsizetype missing = m_match.started ? qMax<qsizetype>(1, expected - m_received.size())
                                                  : m_expected.answerLength();
        wantMs = qMax(charsOnLineMs(double(missing)), MinAnswerHoldMs);
    }
    m_port->holdArrivals(qMin(wantMs, left));
}

int TModbusKomunikator::frameGapMs() const
{
    // Modbus wants 3.5 quiet characters between frames.
    return qMax(2, charsOnLineMs(3.5));
}

void TModbusKomunikator::noteAnswerDelay(uint16_t address, uint16_t value)
{
    // A new delay may apply to the very answer of the write that sets it: allow for the larger
    // until the service block shows which one is in force.
    if (address == ServiceRegs::Com0Delay || address == ServiceRegs::Com1Delay)
        m_answerDelayMs = qMax(m_answerDelayMs, qMin<int>(value, MaxAnswerDelayMs));
}

void TModbusKomunikator::setRequest(uint8_t function, uint16_t first, uint16_t second)
{
    uint8_t *d = m_txFrame.Data;
    d[0] = m_slaveAddress;
    d[1] = function;
    d[2] = uint8_t(first >> 8);
    d[3] = uint8_t(first);
    d[4] = uint8_t(second >> 8);
    d[5] = uint8_t(second);
    m_txFrame.Len = 6;
}

void TModbusKomunikator::ReadBlock(uint16_t address)
{
    // An answer held back goes to its receiver before the frame is built: the receiver may
    // send a request of its own.
    deliverPending();
    // Leftovers (write echoes, a late answer) must not be taken for this request's answer.
    m_port->purgeReceive();
    // Only the low byte of the register count goes out; the high byte is always 0.
    setRequest(0x03, address, uint8_t(m_registerCount));
    AppendCrc();
    sendCounted();
}

void TModbusKomunikator::WriteRegister(uint16_t value, uint16_t address)
{
    deliverPending();
    // A gateway that does not answer reads would not take the write either.
    if (m_counters.TimedOut()) {
        m_lastRequest = answerOf(RequestOutcome::Lost);
        return;
    }
    setRequest(0x06, address, value);
    AppendCrc();
    sendUncounted();
    noteAnswerDelay(address, value);
}

void TModbusKomunikator::WriteRegisters(const QList<uint16_t> &values, uint16_t startAddress)
{
    deliverPending();
    if (!Active()) {
        m_lastRequest = answerOf(RequestOutcome::Lost);
        Prompts::current().information(QString::fromLatin1(kPortInactiveMessage));
        return;
    }
    const int n = int(values.size());
    if (n < 1 || n > MaxWriteRegisters)
        throw std::length_error("A write of " + std::to_string(n)
                                + " registers does not fit one frame (1 to 121).");
    setRequest(0x10, startAddress, uint16_t(n));
    uint8_t *d = m_txFrame.Data;
    d[6] = uint8_t(2 * n);
    for (int i = 0; i < n; ++i) {
        d[7 + 2 * i] = uint8_t(values[i] >> 8);
        d[8 + 2 * i] = uint8_t(values[i]);
    }
    m_txFrame.Len = uint8_t(7 + 2 * n);
    AppendCrc();
    sendUncounted();
    for (int i = 0; i < n; ++i)
        noteAnswerDelay(uint16_t(startAddress + i), values[i]);
}

void TModbusKomunikator::ReadRegisters(uint16_t start, int count)
{
    deliverPending();
    if (!Active() || count < 1 || count > MaxReadRegisters) {
        m_lastRequest = answerOf(RequestOutcome::Lost);
        return;
    }
    // Leftovers (write echoes, a late answer) must not be taken for this request's answer.
    m_port->purgeReceive();
    setRequest(0x03, start, uint16_t(count));
    AppendCrc();
    sendUncounted(true);
}

uint16_t TModbusKomunikator::GetRegister(int i) const
{
    if (i < 0 || 4 + 2 * i >= TFrameBuffer::Capacity)
        return 0;
    return uint16_t(m_rxFrame.Data[3 + 2 * i] << 8 | m_rxFrame.Data[4 + 2 * i]);
}

void TModbusKomunikator::GetRegisters(std::array<uint16_t, PollBlockSize> &out) const
{
    for (int i = 0; i < PollBlockSize; ++i)
        out[size_t(i)] = GetRegister(i);
}

void TModbusKomunikator::PollTimerTick()
{
    // The tick comes one timer interval after the last; the clocks cover ticks that came late.
    m_sinceRequest.add(m_pollTimer.interval());
    m_sinceActivity.add(m_pollTimer.interval());
    tickBegins();
    // A hold ends before its answer's time is over; should it not have, the answer's bytes
    // must not be kept from the decision this tick makes.
    if (readsLine() && m_port->holdingArrivals() && answerWaitMs() == 0)
        m_port->releaseArrivals();
    takeArrivals();
    if (!m_writeQueue.isEmpty()) {
        m_cycleState = Writing;
        setTimerInterval(WriteIntervalMs);
    }
    if (m_cycleState != Pausing) {
        const int wait = answerWaitMs();
        m_arrivedSinceTick = false;
        if (wait > 0) {
            // The gateway is still answering, or may still be: sending now would talk over it.
            m_tickDeferred = true;
            setTimerInterval(wait);
            return;
        }
        m_tickDeferred = false;
        if (m_awaitingAnswer) {
            readTimeOver();
            if (m_cycleState == Pausing)
                return;
        } else {
            ownRequestTimeOver();
        }
        // Whatever the last request was, its answer's time is over.
        m_expected = AnswerMatcher();
        m_match = {};
        // Never talk into bytes still coming, nor ask again before a late answer had its
        // chance to show itself.
        if (const int quiet = QuietWaitMs(); quiet > 0) {
            setTimerInterval(quiet);
            return;
        }
        // On a shared line another gateway's exchange may be under way: the scheduler gives
        // the turn when it is over.
        if (m_bus && !m_bus->mayTalk(*this))
            return;
    }
    sendStep();
}

bool TModbusKomunikator::TakeTurn()
{
    if (!Active() || m_cycleState == Pausing)
        return false;
    // This gateway's requests keep their interval from the one that goes now.
    setTimerInterval(m_pollTimer.interval());
    sendStep();
    return true;
}

int TModbusKomunikator::LineBusyMs()
{
    takeArrivals();
    if (const int wait = answerWaitMs(); wait > 0)
        return wait;
    if (m_awaitingAnswer) {
        m_tickDeferred = false;
        readTimeOver();
    } else {
        ownRequestTimeOver();
    }
    m_expected = AnswerMatcher();
    m_match = {};
    return QuietWaitMs();
}

bool TModbusKomunikator::readsLine() const
{
    return !m_bus || m_bus->holdsLine(*this);
}

void TModbusKomunikator::sendStep()
{
    switch (m_cycleState) {
    case Polling:
        if (m_sendWhenFree) {
            // In a read's slot; the write passes on the answer held back first.
            const auto send = std::exchange(m_sendWhenFree, nullptr);
            send();
            setTimerInterval(m_pollInterval);
            break;
        }
        pollStep();
        break;
    case Writing:
        writeStep();
        break;
    case Pausing:
        m_cycleState = Polling;
        setTimerInterval(m_pollInterval);
        break;
    }
}

TModbusKomunikator::RequestAnswer TModbusKomunikator::answerOf(RequestOutcome outcome, uint8_t exceptionCode, int waitMs)
{
    RequestAnswer answer;
    answer.outcome = outcome;
    answer.exceptionCode = exceptionCode;
    answer.waitMs = waitMs;
    return answer;
}

TModbusKomunikator::RequestAnswer TModbusKomunikator::LastRequestAnswer() const
{
    if (m_lastRequest.outcome != RequestOutcome::Pending)
        return m_lastRequest;
    // An own read's answer waits for the next request, which shows that nothing followed it.
    if (m_pending && m_pending->own)
        return answerOf(RequestOutcome::Pending, 0, qMax(1, m_pollTimer.remainingTime()));
    if (!Active() || !m_expected.expectsAnswer())
        return answerOf(RequestOutcome::Lost);
    const int wait = answerWaitMs();
    return wait > 0 ? answerOf(RequestOutcome::Pending, 0, wait) : answerOf(RequestOutcome::Lost);
}

int TModbusKomunikator::answerWaitMs() const
{
    if (!m_expected.expectsAnswer())
        return 0;
    const qint64 elapsed = m_sinceRequest.elapsedMs(nowMs());
    const qint64 timeout = AnswerTimeoutMs();
    if (elapsed < timeout)
        return int(timeout - elapsed);
    // Past its time, a frame still coming in gets a little longer while it keeps coming: the
    // gateway's delay may have been changed where the cycle could not see it. Endless noise
    // stops this after a second timeout and the longest delay.
    const qint64 limit = 2 * timeout + UnknownAnswerDelayMs;
    if (m_arrivedSinceTick && m_match.started && elapsed < limit)
        return int(qMin<qint64>(AnswerMarginMs, limit - elapsed));
    return 0;
}

void TModbusKomunikator::pollStep()
{
    if (m_pollTimer.interval() != m_pollInterval)
        setTimerInterval(m_pollInterval);
    // The receiver of the answer held back may steer the cycle to another block.
    deliverPending();
    // After an anomaly, and while the gateway is silent, the same block is asked for again.
    const bool again = RepeatsBlock();
    m_repeat = false;
    if (!again)
        m_blockIndex = uint8_t((m_blockIndex + 1) % PollBlockCount);
    const uint8_t block = again ? m_lastBlockIndex : m_blockIndex;
    ReadBlock(PollBlocks[block]);
    m_lastBlockIndex = block;
    m_retrying = again;
}

void TModbusKomunikator::readTimeOver()
{
    m_awaitingAnswer = false;
    const AnswerMatcher expected = std::exchange(m_expected, AnswerMatcher());
    const AnswerMatcher::Match match = std::exchange(m_match, {});
    const QByteArray received = std::exchange(m_received, {});
    reportReceived(received);
    const bool echoed = m_lineEchoes && received.startsWith(expected.request());
    const qsizetype answered = received.size() - (echoed ? expected.request().size() : 0);
    if (expected.expectsAnswer() && (match.started || answered >= expected.answerLength())) {
        // Something answered but never made a whole frame: cut short, or its head damaged.
        // One failed answer; the next request waits only for a quiet line.
        m_counters.AnswerReceived(false, LinkFault::Crc);
        m_unansweredReads = 0;
        readFailed(ReadFault::Incomplete);
        return;
    }
    // No answer in its time (at most noise or the request's echo came): pause, then ask again;
    // queued writes go first. The timeout itself is counted when the next request goes out.
    ++m_unansweredReads;
    readFailed(ReadFault::NoAnswer);
    if (m_cycleState == Polling) {
        m_cycleState = Pausing;
        setTimerInterval(PauseMs);
    }
}

void TModbusKomunikator::ownRequestTimeOver()
{
    if (!m_ownRead || m_pending || m_lastRequest.outcome != RequestOutcome::Pending)
        return;
    m_lastRequest = answerOf(RequestOutcome::Lost);
    m_needQuiet = true;
}

void TModbusKomunikator::readFailed(ReadFault fault)
{
    m_repeat = true;
    m_needQuiet = true;
    if (OnReadFailed)
        OnReadFailed(m_lastBlockIndex, fault);
}

void TModbusKomunikator::writeStep()
{
    const TWriteEntry entry = m_writeQueue[m_queuePos];
    ++m_queuePos;
    if (m_queuePos == m_writeQueue.size()) {
        m_cycleState = Pausing;
        setTimerInterval(PauseMs);
        m_queuePos = 0;
        m_writeQueue.clear();
    } else if (m_pollTimer.interval() != WriteIntervalMs) {
        setTimerInterval(WriteIntervalMs);
    }
    WriteRegister(entry.Value, entry.Address);
}

void TModbusKomunikator::DataReceived(TAfComPort *, int)
{
    takeArrivals();
}

void TModbusKomunikator::takeArrivals()
{
    // Another gateway's exchange is on a shared line: its bytes are not this one's.
    if (!readsLine())
        return;
    QByteArray bytes;
    if (!ReadAnswer(bytes))
        return;
    m_arrivedSinceTick = true;
    restartQuietClock();
    if (!m_expected.expectsAnswer()) {
        strayBytes(bytes);
        return;
    }
    m_received.append(bytes);
    // An answer must begin within its request's time; past it, only one already begun may
    // still be completed.
    if (m_sinceRequest.elapsedMs(nowMs()) < AnswerTimeoutMs())
        m_inTimeBytes = m_received.size();
    // Noise without end must not grow the buffer: keep the last frame's worth.
    // (An own read of up to 125 registers is longer than a frame buffer.)
    const qsizetype kKeep = qMax<qsizetype>(TFrameBuffer::Capacity, m_expected.answerLength() + m_expected.request().size());
    if (m_received.size() > 2 * kKeep) {
        const qsizetype dropped = m_received.size() - kKeep;
        reportReceived(m_received.left(dropped));
        m_received.remove(0, dropped);
        m_inTimeBytes = qMax<qsizetype>(0, m_inTimeBytes - dropped);
    }
    settleAnswer();
    // Part of the answer is in: the rest is read when it can be whole, not piece by piece.
    if (m_expected.expectsAnswer() && !m_port->holdingArrivals())
        holdForAnswer();
}

void TModbusKomunikator::strayBytes(const QByteArray &bytes)
{
    reportReceived(bytes);
    // Another request of the cycle goes out only after a quiet line, and for the same block.
    m_needQuiet = true;
    m_repeat = true;
    if (m_pending && m_pending->own) {
        // The same doubt as a block's: an own read's answer is not given out either.
        m_pending.reset();
        m_oldBurst = true;
        ++m_doubtfulAnswers;
        m_lastRequest = answerOf(RequestOutcome::Lost);
        return;
    }
    if (m_pending) {
        // The answer may be the first of a queue of late ones: it is not passed on.
        m_pending.reset();
        m_oldBurst = true;
        ++m_doubtfulAnswers;
        m_counters.AnswerReceived(false, LinkFault::Noise);
        if (OnReadFailed)
            OnReadFailed(m_lastBlockIndex, ReadFault::Doubtful);
        return;
    }
    if (std::exchange(m_oldBurst, true))
        return;
    ++m_oldBursts;
    m_counters.CountError(LinkFault::Noise);
}

void TModbusKomunikator::settleAnswer()
{
    if (!m_expected.expectsAnswer())
        return;
    m_match = m_expected.find(m_received);
    if (m_match.verdict == AnswerMatcher::Verdict::Waiting)
        return;
    const AnswerMatcher expected = std::exchange(m_expected, AnswerMatcher());
    const AnswerMatcher::Match match = std::exchange(m_match, {});
    const QByteArray received = std::exchange(m_received, {});
    const QByteArray before = received.left(match.offset);
    const QByteArray frame = received.mid(match.offset, match.length);
    const QByteArray after = received.mid(match.offset + match.length);
    reportReceived(before);
    reportReceived(frame);
    if (match.verdict != AnswerMatcher::Verdict::Foreign)
        m_unansweredReads = 0;
    if (m_tickDeferred) {
        // The tick waited for this answer: the next request may go as soon as the line is quiet.
        m_tickDeferred = false;
        setTimerInterval(frameGapMs());
    }
    const bool late = match.offset >= m_inTimeBytes;
    if (m_ownRead) {
        settleOwnRead(match.verdict, frame, expected, late);
    } else if (expected.isRead() && late) {
        // Another request's answer, most likely, behind the one that began in time: this
        // request's own answer did not come in its time.
        m_awaitingAnswer = false;
        m_counters.AnswerReceived(false, LinkFault::Timeout);
        readFailed(ReadFault::Late);
    } else if (expected.isRead()) {
        settleReadAnswer(match, frame, before, expected);
    } else if (late) {
        m_lastRequest = answerOf(RequestOutcome::Lost);
    } else if (match.verdict == AnswerMatcher::Verdict::Answer) {
        m_lastRequest = answerOf(RequestOutcome::Confirmed);
    } else if (match.verdict == AnswerMatcher::Verdict::Exception) {
        m_lastRequest = answerOf(RequestOutcome::Refused, uint8_t(frame[2]));
    } else {
        m_lastRequest = answerOf(RequestOutcome::Lost); // another slave's answer confirms nothing
    }
    // Bytes behind the frame: nothing more was asked for.
    if (!after.isEmpty())
        strayBytes(after);
}

void TModbusKomunikator::settleOwnRead(AnswerMatcher::Verdict verdict, const QByteArray &frame,
                                       const AnswerMatcher &expected, bool late)
{
    if (late || verdict == AnswerMatcher::Verdict::Broken || verdict == AnswerMatcher::Verdict::Foreign) {
        // Another request's answer, a damaged one or another slave's: the read is lost, and
        // the next request waits for a quiet line, as after a block read gone wrong.
        m_lastRequest = answerOf(RequestOutcome::Lost);
        m_needQuiet = true;
    } else if (verdict == AnswerMatcher::Verdict::Exception) {
        m_lastRequest = answerOf(RequestOutcome::Refused, uint8_t(frame[2]));
    } else {
        // Held until the next request goes out: bytes behind it would put it in doubt.
        m_pending = PendingAnswer{frame, expected, true};
    }
}

void TModbusKomunikator::settleReadAnswer(const AnswerMatcher::Match &match, const QByteArray &frame,
                                          const QByteArray &before, const AnswerMatcher &expected)
{
    m_awaitingAnswer = false;
    if (match.verdict == AnswerMatcher::Verdict::Answer) {
        // An echo of the request is the adapter's doing; anything else before the answer is
        // noise, counted once beside the good answer.
        const bool echoed = before.startsWith(expected.request());
        m_lineEchoes = echoed;
        if (before.size() > (echoed ? expected.request().size() : 0))
            m_counters.CountError(LinkFault::Noise);
        const auto start = uint16_t(uint8_t(expected.request()[2]) << 8 | uint8_t(expected.request()[3]));
        if (BlockContent::plausible(start, BlockContent::registersOf(frame))) {
            // Held until the next request goes out: bytes behind it would put it in doubt.
            m_pending = PendingAnswer{frame, expected};
            // The first request's answer may still follow an answered retry.
            m_needQuiet = m_retrying;
            return;
        }
        m_counters.AnswerReceived(false, LinkFault::Crc);
        readFailed(ReadFault::Implausible);
        return;
    }
    m_counters.AnswerReceived(false, match.verdict == AnswerMatcher::Verdict::Exception ? LinkFault::Exception
                                     : match.verdict == AnswerMatcher::Verdict::Foreign ? LinkFault::Foreign
                                                                                        : LinkFault::Crc);
    switch (match.verdict) {
    case AnswerMatcher::Verdict::Exception:
        readFailed(ReadFault::Exception);
        break;
    case AnswerMatcher::Verdict::Foreign:
        readFailed(ReadFault::Foreign);
        if (OnForeignAnswer)
            OnForeignAnswer(uint8_t(frame[0]));
        break;
    default:
        readFailed(ReadFault::Broken);
        break;
    }
}

void TModbusKomunikator::deliverPending()
{
    if (!m_pending)
        return;
    const PendingAnswer pending = std::move(*m_pending);
    m_pending.reset();
    if (pending.own) {
        // Address, function, byte count, the registers high byte first, CRC.
        QList<uint16_t> registers;
        for (qsizetype at = 3; at + 3 < pending.frame.size(); at += 2)
            registers.append(uint16_t(uint8_t(pending.frame[at]) << 8 | uint8_t(pending.frame[at + 1])));
        m_lastRequest = answerOf(RequestOutcome::Confirmed);
        m_lastRequest.registers = registers;
        return;
    }
    m_counters.AnswerReceived(true);
    acceptReadAnswer(pending.frame, pending.expected);
}

void TModbusKomunikator::acceptReadAnswer(const QByteArray &frame, const AnswerMatcher &expected)
{
    m_rxFrame.Len = uint8_t(frame.size());
    memcpy(m_rxFrame.Data, frame.constData(), size_t(frame.size()));
    const QByteArray &request = expected.request();
    const auto start = uint16_t(uint8_t(request[2]) << 8 | uint8_t(request[3]));
    if (start == ServiceRegs::Start)
        m_answerDelayMs = BlockContent::answerDelayMs(BlockContent::registersOf(frame));
    if (OnBlockReceived)
        OnBlockReceived();
}

QString TModbusKomunikator::faultText(ReadFault fault, int count)
{
    struct Words
    {
        const char *one;
        const char *many;
    };
    // In the order of ReadFault.
    static constexpr Words kWords[] = {
        {"request unanswered", "requests unanswered"},
        {"answer cut short or damaged", "answers cut short or damaged"},
        {"CRC error", "CRC errors"},
        {"exception answer", "exception answers"},
        {"answer from another address", "answers from another address"},
        {"answer followed by more bytes", "answers followed by more bytes"},
        {"answer with settings out of range", "answers with settings out of range"},
        {"read given up for a write", "reads given up for a write"},
        {"answer after its time", "answers after their time"},
    };
    static_assert(std::size(kWords) == size_t(ReadFault::Late) + 1);
    const Words &words = kWords[int(fault)];
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? words.one : words.many));
}
