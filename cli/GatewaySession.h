#pragma once

#include "LinkPort.h"
#include "RegisterMap.h"
#include "TChannelRecord.h"
#include "TTarvikKomunikator.h"

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class BusScheduler;
class EventWait;

// The gateway over the window's own poll cycle: the communicator reads the blocks a command
// asks for, in the window's rhythm, and the command waits for them. Every read request gets a
// serial number, so a command can ask for blocks read after its writes went out. Silence
// longer than the timeout, an exception answer or the port going away end the wait with a
// failure; so does a block that does not arrive whole within the wait's deadline (the gateway
// answers, but never that block cleanly), with what went wrong with it.
class GatewaySession : public QObject
{
    Q_OBJECT
public:
    using Block = std::array<uint16_t, PollBlockSize>;

    // The one gateway of the link, on a port of its own. Throws a usage CliFailure when the
    // link names several addresses.
    GatewaySession(const LinkOptions &link, EventWait &wait);
    // One gateway of several on a shared line: the owner of the port and the scheduler opens
    // and closes them, and tells the session when the port goes away (portLost).
    GatewaySession(LinkPort &port, BusScheduler &bus, int address, EventWait &wait);
    ~GatewaySession() override;

    // Opens the port and starts the poll cycle; throws CliFailure. (A session on a shared line
    // is opened with the line.)
    void open();
    void close();
    TTarvikKomunikator &gateway() { return m_gateway; }
    const LinkOptions &link() const { return m_link; }
    // The port went away under the session.
    void portLost(const QString &reason);
    // How long a read may go unanswered: the option, or long enough for the cycle to ask again
    // once after a lost answer.
    int timeoutMs() const;
    // How often this gateway's turn on the line comes at the least: its poll interval, or a
    // round of all gateways on a shared line, whichever is longer.
    int turnMs() const;
    // How long a wait for these blocks may take: each block's turn in the cycle, and time for
    // the cycle to ask four times again after lost or broken answers.
    int deadlineMs(int blockCount) const;
    // "channels 1-10", "the service block", "the found-device list of line 2".
    static QString blockName(int index);

    // Steers the poll cycle to these block indexes only and waits until each has arrived from
    // a request sent after since (a readSerial() value). false when Ctrl+C ended the wait.
    bool readBlocks(const QList<int> &blocks, int since = 0);
    // readBlocks for a command that cannot go on without the blocks: Ctrl+C ends it with exit
    // code 1 and this text, which says what was done so far.
    void readBlocksOrStop(const QList<int> &blocks, int since, const QString &interrupted);
    // Steers the poll cycle to these block indexes, round and round, without waiting.
    void keepReading(const QList<int> &blocks);
    int readSerial() const { return m_readSerial; }
    // The serial of the request the last block taken answered. A read already on its way when
    // a command starts a new round of reading is after it.
    int answeredSerial() const { return m_answeredSerial; }
    const Block &block(int index) const { return m_blocks[size_t(index)]; }
    // The 40 channel records of blocks 0..3.
    QList<TChannelRecord> channelRecords() const;

    // Runs an operation that queues writes and waits until they are on the line; blocks read
    // after the returned readSerial() show their effect. Throws when nothing was queued or the
    // cycle dropped a write.
    int queued(const std::function<void()> &operation);
    // Runs an operation that writes at once, when no read answer is due; returns as queued().
    int atOnce(const std::function<void()> &operation);
    // Sends one request of the command's own at once (send makes it: the communicator's
    // ReadRegisters, WriteRegister or WriteRegisters) and waits until its answer is taken or
    // lost, as the cycle decides it. An exception answer ends the session, as any does; throws
    // as atOnce() when nothing could be sent.
    TModbusKomunikator::RequestAnswer exchange(const std::function<void()> &send);

    // Counts the blocks taken: a block whose generation is above a value read earlier arrived
    // since then.
    int generation() const { return m_generation; }
    int blockGeneration(int index) const { return m_blockGeneration[size_t(index)]; }
    // How many ms ago the block was taken; -1 when it never was.
    qint64 blockAgeMs(int index) const;

    // Off: silence no longer ends the session, the cycle just keeps asking (the import).
    void setSilenceEndsSession(bool on);
    // How long the gateway may stay silent before that ends the session (default timeoutMs()).
    void setSilenceTimeoutMs(int ms) { m_silenceTimeoutMs = ms; }
    // Off: an exception answer does not end the session; the block it refused just does not
    // arrive (logging, the import, which looks at each answer itself).
    void setExceptionsEndSession(bool on) { m_exceptionsEnd = on; }
    // Off: the port going away does not end the session at once; the command finds the port
    // closed and says what that means for its work (the import).
    void setPortLossEndsSession(bool on) { m_portLossEnds = on; }
    // Added to the silence message (e.g. that new line settings may already be in force).
    void setSilenceHint(const QString &hint) { m_silenceHint = hint; }

private:
    void onTx(const TFrameBuffer &frame);
    void onRx(const TFrameBuffer &frame);
    void onBlock();
    void steer();
    // Waits, not to be cut short by Ctrl+C, until done holds or ms have passed; false then.
    bool waitAtMost(const std::function<bool()> &done, int ms);
    CliFailure silence() const;
    CliFailure missed() const;

    void wire();

    std::unique_ptr<LinkPort> m_ownPort; // a port of its own; null on a shared line
    LinkPort &m_port;
    BusScheduler *m_bus = nullptr;
    LinkOptions m_link;
    EventWait &m_wait;
    TTarvikKomunikator m_gateway;
    QTimer m_silence;
    bool m_silenceEnds = true;
    QString m_silenceHint;
    std::optional<uint8_t> m_foreignAddress; // another slave answered since the last good block
    int m_silenceTimeoutMs = 0;
    bool m_exceptionsEnd = true;
    bool m_portLossEnds = true;
    int m_generation = 0;
    std::array<int, PollBlockCount> m_blockGeneration{};
    QElapsedTimer m_clock;
    std::array<qint64, PollBlockCount> m_blockTakenAt{}; // m_clock's ms; -1 never
    std::array<Block, PollBlockCount> m_blocks{};
    std::array<int, PollBlockCount> m_blockSerial{}; // serial of the request each block answered
    int m_readSerial = 0;
    int m_answeredSerial = 0;
    int m_writesSent = 0;
    int m_framesSent = 0; // every request, the cycle's and the command's own
    QList<int> m_wanted;
    int m_since = 0;
    // The deadline of the running wait for blocks, and what went wrong with each block since
    // it began.
    QTimer m_deadline;
    std::array<QMap<TModbusKomunikator::ReadFault, int>, PollBlockCount> m_faults{};
};
