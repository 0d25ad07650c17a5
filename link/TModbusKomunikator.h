#pragma once

#include "AnswerMatcher.h"
#include "RegisterMap.h"
#include "SinceClock.h"
#include "TKomunikator.h"
#include "TWriteEntry.h"

#include <QList>
#include <array>
#include <cstdint>
#include <optional>

// A Modbus RTU master that reads the gateway continuously: one read of 100 registers per timer
// tick, walking through the seven poll blocks, with queued single-register writes sent between
// polls (one per 60 ms) and followed by a 1000 ms pause. Every valid answer raises
// OnBlockReceived; the receiver then takes the registers with GetRegisters and the block's
// address with GetBlockAddress.
//
// An answer is taken only when it is this gateway's answer to the request just sent (address,
// function and length fields, then the CRC); noise or the request's echo before it is skipped.
// A tick never sends while the answer to the last request is still arriving or still due: the
// answer's time allows for the gateway's answer delay (registers 1053/1054), so a slow line or
// a long delay makes the cycle wait rather than talk over the gateway.
//
// Modbus RTU answers carry no request number, and the channel blocks and found-device lists all
// have the same shape, so only timing tells whose answer a frame is:
// - an answer counts only while its request is outstanding: bytes that come while none is are
//   old (a late answer, a stalled adapter emptying its buffer) and are dropped, counted once per
//   burst;
// - a read answer is passed on only when the next request goes out with nothing behind it:
//   bytes that follow it put it in doubt (it may be the first of a queue of late answers), and
//   it counts as one failed answer;
// - after a lost, broken, doubtful or refused answer and after old bytes, the next request
//   waits for a quiet line (a whole answer's time without a byte) and asks for the same block
//   again, so that a late answer can only be that block's own; the request after an answered
//   retry waits for a quiet line too, since the first request's answer may still follow.
// A stream of old answers therefore delays the cycle; it never becomes data. On a clean line
// the requests keep their order and spacing.
class BusScheduler;

class TModbusKomunikator : public TKomunikator
{
    Q_OBJECT
public:
    enum TCycleState : uint8_t { Polling = 0, Writing = 1, Pausing = 2 };

    static constexpr int WriteIntervalMs = 60;
    static constexpr int PauseMs = 1000;
    static constexpr int MaxQueuedWrites = 255;
    static constexpr int MaxWriteRegisters = (TFrameBuffer::Capacity - 9) / 2; // 121
    // The answer delay assumed until the service block has been read: the most the gateway
    // can be set to.
    static constexpr int UnknownAnswerDelayMs = 200;
    // A register value above this is not taken as an answer delay.
    static constexpr int MaxAnswerDelayMs = 1000;
    // Added to an answer's time on the line: USB adapters hold received bytes up to 16 ms, and
    // the system's scheduling adds its own.
    static constexpr int AnswerMarginMs = 50;
    // The shortest wait for the rest of an answer that has begun: less would wake the program
    // for every piece again.
    static constexpr int MinAnswerHoldMs = 2;

    explicit TModbusKomunikator(TAfComPort *port, QObject *parent = nullptr);

    void PollTimerTick() override;
    void DataReceived(TAfComPort *sender, int count) override;
    void Open(const QString &portName) override;
    void Close() override;

    // On a line shared with other gateways, every request of the cycle waits for the
    // scheduler's leave (not owned; nullptr: the line is this gateway's alone).
    void setBus(BusScheduler *bus) { m_bus = bus; }
    // The shared port was opened: resets the counters and starts the cycle on it, as Open does.
    void StartOnOpenPort();
    // The scheduler gives the line: sends what the cycle had waiting, timing this gateway's
    // pacing from now. false when the cycle has nothing to send any more.
    bool TakeTurn();
    // How much longer the line stays this gateway's: its answer still due or arriving, then
    // the quiet it asks for after it. Settles an answer whose time is over.
    int LineBusyMs();
    // Another gateway's request goes out next: the answer held back is passed on.
    void LineHandedOver() { deliverPending(); }

    uint8_t SlaveAddress() const { return m_slaveAddress; }
    void setSlaveAddress(uint8_t address) { m_slaveAddress = address; }
    uint16_t RegisterCount() const { return m_registerCount; }
    uint8_t AnswerLength() const { return m_answerLength; }

    // Sets the port's baud rate and, unless it is 0, the poll interval to
    // max(4800000 / baud, 300) ms: slow lines get time for the 205-byte answer.
    void SetBaudRate(qint32 baud);
    // The poll interval of a line speed (baud above 0).
    static int PollIntervalFor(qint32 baud) { return qMax(4800000 / baud, 300); }
    void SetPollInterval(int ms);
    int PollInterval() const { return m_pollInterval; }
    // Makes block b (0..6) the next one read by an advancing poll.
    void RequestBlock(int b);

    // Queues single-register writes. Refused with false when the port is closed (after the
    // message "Communication port is inactive.") or while earlier writes are still queued.
    bool QueueWrites(const QList<TWriteEntry> &entries);
    // QueueWrites with one entry; a write asked for while the queue is busy is dropped.
    void QueueWrite(uint16_t value, uint16_t address);

    // Runs send (which writes at once) at the cycle's next free slot instead of a read: when
    // no answer is due any more and the line is quiet. Replaces one not yet run.
    void RunWhenLineFree(std::function<void()> send) { m_sendWhenFree = std::move(send); }
    bool SendWaiting() const { return bool(m_sendWhenFree); }

    // Request builders.
    // Function 03: purges the receive queue and sends a counted read of RegisterCount
    // registers at address.
    void ReadBlock(uint16_t address);
    // Function 06, sent uncounted; nothing at all while the link is in timeout.
    void WriteRegister(uint16_t value, uint16_t address);
    // Function 16 of 1..121 words, sent uncounted and at once; on a closed port it shows
    // "Communication port is inactive." and sends nothing.
    void WriteRegisters(const QList<uint16_t> &values, uint16_t startAddress);
    // Function 03 of 1..MaxReadRegisters registers from start: a read of the caller's own
    // beside the cycle's blocks, sent uncounted and at once (in a RunWhenLineFree slot). Its
    // answer is found and timed as a block's (a late one or one followed by more bytes is not
    // taken), but it is no block: LastRequestAnswer gives its registers. On a closed port or
    // with a count out of range nothing is sent and it is lost.
    void ReadRegisters(uint16_t start, int count);
    static constexpr int MaxReadRegisters = 125;

    // Register i of the last accepted answer (byte 3 + 2i high, byte 4 + 2i low).
    uint16_t GetRegister(int i) const;
    // Registers 0..99 of the last accepted answer.
    void GetRegisters(std::array<uint16_t, PollBlockSize> &out) const;
    // Start address of the block of the last read request.
    uint16_t GetBlockAddress() const { return PollBlocks[m_lastBlockIndex]; }

    // Appends the CRC of TxFrame's Len bytes to it.
    void AppendCrc();
    // Whether the last two bytes of RxFrame are the CRC of the bytes before them.
    bool AnswerCrcValid() const;

    TCycleState CycleState() const { return m_cycleState; }
    uint8_t BlockIndex() const { return m_blockIndex; }
    uint8_t LastBlockIndex() const { return m_lastBlockIndex; }
    // A read request of the cycle went out and its answer has been neither taken nor given up.
    bool AwaitingAnswer() const { return m_awaitingAnswer; }
    const QList<TWriteEntry> &WriteQueue() const { return m_writeQueue; }

    // The gateway's answer delay the cycle allows for: the larger of registers 1053 and 1054 as
    // last read (or just written, if larger), 200 ms before the service block was read.
    int AnswerDelayMs() const { return m_answerDelayMs; }
    // How long the answer to the last request may take: both frames on the line, the answer
    // delay and a margin. 0 when that request expects no answer.
    int AnswerTimeoutMs() const;
    // When the answer to the last request can be whole at the earliest, from the request on:
    // both frames on the line. The answer delay is not counted: it belongs to the gateway's
    // RS-485 and RS-232 ports, and over its USB port, or from another device, an answer comes
    // without it. 0 when that request expects no answer.
    int AnswerDueMs() const;
    // Whether the line echoes requests (seen before the last read answer).
    bool LineEchoes() const { return m_lineEchoes; }

    // What became of the last write or own read (ReadRegisters): confirmed by the gateway's
    // answer, refused with an exception, or lost (no answer of its own within its time, the
    // answer of a read followed by more bytes, or the port closed). An own read's answer is
    // held, as a block's, until the next request goes out: Pending until then.
    enum class RequestOutcome { None, Pending, Confirmed, Refused, Lost };
    struct RequestAnswer
    {
        RequestOutcome outcome = RequestOutcome::None;
        uint8_t exceptionCode = 0; // Refused only
        int waitMs = 0;            // Pending only: how much longer the answer may take
        QList<uint16_t> registers; // a confirmed own read: the registers read
    };
    RequestAnswer LastRequestAnswer() const;
    static RequestAnswer answerOf(RequestOutcome outcome, uint8_t exceptionCode = 0, int waitMs = 0);

    // Why a read of the cycle came to nothing.
    enum class ReadFault {
        NoAnswer,    // nothing (or only noise) within the answer's time
        Incomplete,  // an answer began, or bytes of its length came, but no whole frame of its shape
        Broken,      // a whole answer of this gateway with a wrong CRC
        Exception,   // the gateway refused the read
        Foreign,     // a whole answer from another slave address
        Doubtful,    // more bytes followed the answer before the next request
        Implausible, // the answer's content cannot be the block asked for
        Abandoned,   // a write went out before the answer came
        Late,        // a whole answer began only after the request's time was over
    };
    static QString faultText(ReadFault fault, int count);

    // How long the line must be quiet before a request may follow an anomaly: a whole read
    // exchange with the answer delay and the margin.
    int QuietLineMs() const;
    // How much longer the next request has to wait for a quiet line (0: it may go now): a
    // whole answer's time after an anomaly, else the frame gap after the last byte.
    int QuietWaitMs() const;
    // The next read asks for the block of the last one again.
    bool RepeatsBlock() const { return m_repeat || m_counters.TimedOut(); }
    // Bursts of bytes that came while no request was outstanding, and answers put in doubt by
    // bytes behind them, since the port was opened.
    int OldBursts() const { return m_oldBursts; }
    int DoubtfulAnswers() const { return m_doubtfulAnswers; }
    // Reads in a row that got nothing back at all: the gateway is silent (switched off, cut
    // off, another address) rather than troubled.
    int UnansweredReads() const { return m_unansweredReads; }

    std::function<void()> OnBlockReceived;
    // A read of the block with this index (into PollBlocks) came to nothing.
    std::function<void(int blockIndex, ReadFault fault)> OnReadFailed;
    // A whole answer of the right shape and CRC came from another slave address: another device
    // answers on this address's behalf, or the address is set wrong. It is counted as an error.
    std::function<void(uint8_t address)> OnForeignAnswer;

private:
    // The six bytes every request starts with: address, function, two 16-bit fields.
    void setRequest(uint8_t function, uint16_t first, uint16_t second);
    void sendCounted();
    // ownRead: the request is ReadRegisters', not a write.
    void sendUncounted(bool ownRead = false);
    void expectAnswer();
    void startCycle();
    // What a tick of the cycle sends once the line is free: a read, a queued write, or the
    // end of a pause.
    void sendStep();
    void pollStep();
    void writeStep();
    bool readsLine() const;
    // How much longer the answer to the last request must be waited for; 0 when it is in, or
    // its time is over and nothing is still arriving.
    int answerWaitMs() const;
    // Reads what the port holds: bytes for the outstanding request, or old ones.
    void takeArrivals();
    void settleAnswer();
    void settleOwnRead(AnswerMatcher::Verdict verdict, const QByteArray &frame, const AnswerMatcher &expected, bool late);
    void settleReadAnswer(const AnswerMatcher::Match &match, const QByteArray &frame, const QByteArray &before,
                          const AnswerMatcher &expected);
    // The answer time of the outstanding read is over and no frame decided its fate.
    void readTimeOver();
    // The answer time of the last write or own read is over. An own read left without its
    // answer is lost, and the next request waits for a quiet line: should its answer still
    // come, it must not be taken for that request's.
    void ownRequestTimeOver();
    // A read came to nothing: counted, and the next request waits for a quiet line and asks for
    // the same block again.
    void readFailed(ReadFault fault);
    // Bytes while no request is outstanding: they put a held answer in doubt, or are old.
    void strayBytes(const QByteArray &bytes);
    // Passes on the read answer held since it came: nothing followed it before this request.
    void deliverPending();
    void acceptReadAnswer(const QByteArray &frame, const AnswerMatcher &expected);
    void restartQuietClock();
    void resetLine();
    void noteAnswerDelay(uint16_t address, uint16_t value);
    int frameGapMs() const;
    int charsOnLineMs(double characters) const;
    // Lets the answer's pieces gather in the driver until it can be whole (or, once it has
    // begun, until its missing bytes can be in), never past its timeout.
    void holdForAnswer();

protected:
    // Time passed on a timer of a descendant's own (the import's) while the cycle rests.
    void answerTimePassed(int ms) { m_sinceRequest.add(ms); }

private:

    uint8_t m_slaveAddress = 1;
    uint16_t m_registerCount = PollBlockSize;
    uint8_t m_blockIndex = 3;
    uint8_t m_lastBlockIndex = 0;
    uint8_t m_answerLength = 205;
    QList<TWriteEntry> m_writeQueue;
    uint8_t m_queuePos = 0;
    TCycleState m_cycleState = Polling;
    int m_pollInterval = 500;
    bool m_awaitingAnswer = false;

    AnswerMatcher m_expected;        // the answer the last request is waiting for
    AnswerMatcher::Match m_match;    // where that answer stands among the bytes received
    QByteArray m_received;           // bytes read since the last request, not yet settled
    SinceClock m_sinceRequest;       // since the last request went out
    bool m_arrivedSinceTick = false; // bytes came in since the last tick
    bool m_tickDeferred = false;     // the last tick waited for an answer
    int m_answerDelayMs = UnknownAnswerDelayMs;
    bool m_lineEchoes = false;
    RequestAnswer m_lastRequest; // of the last write or own read
    bool m_ownRead = false;      // the last request is an own read

    // A read answer taken whole, passed on when the next request goes out.
    struct PendingAnswer
    {
        QByteArray frame;
        AnswerMatcher expected;
        bool own = false; // the answer to an own read, not a block
    };
    std::optional<PendingAnswer> m_pending;
    bool m_needQuiet = false;   // the next request waits for a quiet line
    bool m_repeat = false;      // the next read asks for the last block again
    bool m_retrying = false;    // the outstanding read asks for its block again
    bool m_oldBurst = false;    // stray bytes since the last request were counted already
    qsizetype m_inTimeBytes = 0; // how many of m_received came within the request's time
    SinceClock m_sinceActivity; // since the last byte came or the last request went out
    int m_oldBursts = 0;
    int m_doubtfulAnswers = 0;
    int m_unansweredReads = 0;
    std::function<void()> m_sendWhenFree;
    BusScheduler *m_bus = nullptr;
};
