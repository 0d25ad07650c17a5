#pragma once

#include "AnswerMatcher.h"
#include "RegisterMap.h"
#include "TKomunikator.h"
#include "TWriteEntry.h"

#include <QElapsedTimer>
#include <QList>
#include <array>
#include <cstdint>

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

    uint8_t SlaveAddress() const { return m_slaveAddress; }
    void setSlaveAddress(uint8_t address) { m_slaveAddress = address; }
    uint16_t RegisterCount() const { return m_registerCount; }
    uint8_t AnswerLength() const { return m_answerLength; }

    // Sets the port's baud rate and, unless it is 0, the poll interval to
    // max(4800000 / baud, 300) ms: slow lines get time for the 205-byte answer.
    void SetBaudRate(qint32 baud);
    void SetPollInterval(int ms);
    int PollInterval() const { return m_pollInterval; }
    // Makes block b (0..6) the next one read by an advancing poll.
    void RequestBlock(int b);

    // Queues single-register writes. Refused with false when the port is closed (after the
    // message "Communication port is inactive.") or while earlier writes are still queued.
    bool QueueWrites(const QList<TWriteEntry> &entries);
    // QueueWrites with one entry; a write asked for while the queue is busy is dropped.
    void QueueWrite(uint16_t value, uint16_t address);

    // Request builders.
    // Function 03: purges the receive queue and sends a counted read of RegisterCount
    // registers at address.
    void ReadBlock(uint16_t address);
    // Function 06, sent uncounted; nothing at all while the link is in timeout.
    void WriteRegister(uint16_t value, uint16_t address);
    // Function 16 of 1..121 words, sent uncounted and at once; on a closed port it shows
    // "Communication port is inactive." and sends nothing.
    void WriteRegisters(const QList<uint16_t> &values, uint16_t startAddress);

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

    // What became of the last write: confirmed by the gateway's answer, refused with an
    // exception, or lost (no answer of its own within its time, or the port closed).
    enum class WriteOutcome { None, Pending, Confirmed, Refused, Lost };
    struct WriteAnswer
    {
        WriteOutcome outcome = WriteOutcome::None;
        uint8_t exceptionCode = 0; // Refused only
        int waitMs = 0;            // Pending only: how much longer the answer may take
    };
    WriteAnswer LastWriteAnswer() const;

    std::function<void()> OnBlockReceived;
    // A whole answer of the right shape and CRC came from another slave address: another device
    // answers on this address's behalf, or the address is set wrong. It is counted as an error.
    std::function<void(uint8_t address)> OnForeignAnswer;

private:
    // The six bytes every request starts with: address, function, two 16-bit fields.
    void setRequest(uint8_t function, uint16_t first, uint16_t second);
    void sendCounted();
    void sendUncounted();
    void expectAnswer();
    void pollStep();
    void writeStep();
    // How much longer the answer to the last request must be waited for; 0 when it is in, or
    // its time is over and nothing is still arriving.
    int answerWaitMs() const;
    // Reads what the port holds and settles the answer once it is whole.
    void takeArrivals();
    void settleAnswer();
    void acceptReadAnswer(const QByteArray &frame, const AnswerMatcher &expected);
    // Drops bytes that never made an answer; a counted read still awaited fails with them.
    void dropReceived();
    void noteAnswerDelay(uint16_t address, uint16_t value);
    int frameGapMs() const;
    int charsOnLineMs(double characters) const;
    // Lets the answer's pieces gather in the driver until it can be whole (or, once it has
    // begun, until its missing bytes can be in), never past its timeout.
    void holdForAnswer();

protected:
    // Time passed on a timer of a descendant's own (the import's) while the cycle rests.
    void answerTimePassed(int ms) { m_sinceRequestMs += ms; }

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
    QElapsedTimer m_requestClock;    // since the last request went out
    qint64 m_sinceRequestMs = 0;     // the same, as the sum of the timer intervals since
    bool m_arrivedSinceTick = false; // bytes came in since the last tick
    bool m_tickDeferred = false;     // the last tick waited for an answer
    int m_answerDelayMs = UnknownAnswerDelayMs;
    bool m_lineEchoes = false;
    WriteAnswer m_lastWrite;
};
