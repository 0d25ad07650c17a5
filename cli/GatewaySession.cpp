#include "GatewaySession.h"

#include "BusScheduler.h"
#include "ComPortError.h"
#include "CliFailure.h"
#include "EventWait.h"
#include "LinkMessages.h"
#include "ModbusException.h"
#include "ChannelNumbering.h"

#include <climits>

namespace {
constexpr uint8_t kRead = 0x03;
constexpr uint8_t kWriteSingle = 0x06;
constexpr uint8_t kWriteMultiple = 0x10;
} // namespace

GatewaySession::GatewaySession(const LinkOptions &link, EventWait &wait)
    : m_ownPort(std::make_unique<LinkPort>(link)), m_port(*m_ownPort), m_link(link), m_wait(wait),
      m_gateway(&m_port.port())
{
    if (link.addresses.size() > 1)
        throw CliFailure::usage(QStringLiteral("this command works with one gateway: give --address one address "
                                               "(several are for channels, watch and serve)"));
    wire();
    m_port.port().OnClosed = [this](TAfComPort *, const QString &reason) { portLost(reason); };
}

GatewaySession::GatewaySession(LinkPort &port, BusScheduler &bus, int address, EventWait &wait)
    : m_port(port), m_bus(&bus), m_link(port.link().at(address)), m_wait(wait), m_gateway(&m_port.port())
{
    wire();
    bus.add(m_gateway);
}

void GatewaySession::wire()
{
    const LinkOptions &link = m_link;
    m_clock.start();
    m_blockTakenAt.fill(-1);
    m_gateway.SetBaudRate(link.baud);
    m_gateway.setSlaveAddress(uint8_t(link.address));
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        if (m_silenceEnds)
            m_wait.fail(silence());
    });
    m_gateway.OnTxFrame = [this](const TFrameBuffer &f) { onTx(f); };
    m_gateway.OnRxFrame = [this](const TFrameBuffer &f) { onRx(f); };
    m_gateway.OnBlockReceived = [this] { onBlock(); };
    m_gateway.OnForeignAnswer = [this](uint8_t address) { m_foreignAddress = address; };
    m_gateway.OnReadFailed = [this](int block, TModbusKomunikator::ReadFault fault) {
        if (block >= 0 && block < PollBlockCount)
            ++m_faults[size_t(block)][fault];
        // Something came back from this gateway: it is not silent, whatever became of the
        // read; a block that never arrives whole ends the wait at its deadline, with the reason.
        using F = TModbusKomunikator::ReadFault;
        if (fault != F::NoAnswer && fault != F::Abandoned && fault != F::Foreign)
            m_silence.stop();
    };
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { m_wait.fail(missed()); });
}

void GatewaySession::portLost(const QString &reason)
{
    if (m_portLossEnds)
        m_wait.fail(CliFailure::failure(LinkPort::goneText(link().port, reason)));
    else
        m_wait.check();
}

GatewaySession::~GatewaySession()
{
    close();
}

void GatewaySession::open()
{
    if (m_bus)
        return;
    m_port.requirePort();
    try {
        m_gateway.Open(link().port);
    } catch (const ComPortError &e) {
        throw m_port.failureWithReason(e);
    }
}

void GatewaySession::close()
{
    m_gateway.PollTimer().stop();
    m_silence.stop();
    m_deadline.stop();
    // A shared line is closed by its owner, for all its gateways at once.
    if (!m_bus)
        m_port.close();
}

qint64 GatewaySession::blockAgeMs(int index) const
{
    const qint64 at = m_blockTakenAt[size_t(index)];
    return at < 0 ? -1 : m_clock.elapsed() - at;
}

int GatewaySession::turnMs() const
{
    const bool shared = m_bus && m_bus->gateways().size() > 1;
    return shared ? qMax(m_gateway.PollInterval(), m_bus->roundMs()) : m_gateway.PollInterval();
}

int GatewaySession::timeoutMs() const
{
    return link().timeoutMs.value_or(3 * turnMs() + TModbusKomunikator::PauseMs);
}

int GatewaySession::deadlineMs(int blockCount) const
{
    const qint64 ms = qint64(blockCount) * turnMs() + 4LL * timeoutMs();
    return int(qMin<qint64>(ms, INT_MAX));
}

QString GatewaySession::blockName(int index)
{
    if (index >= 0 && index < ChannelMap::ChannelCount / ChannelMap::ChannelsPerBlock) {
        const int first = index * ChannelMap::ChannelsPerBlock + 1;
        return QStringLiteral("channels %1-%2")
            .arg(ChannelNumbering::displayNumber(first))
            .arg(ChannelNumbering::displayNumber(first + ChannelMap::ChannelsPerBlock - 1));
    }
    if (index == ServiceBlockIndex)
        return QStringLiteral("the service block");
    return QStringLiteral("the found-device list of line %1").arg(index == FoundListBlockIndex[0] ? 1 : 2);
}

CliFailure GatewaySession::missed() const
{
    int block = -1;
    for (int b : m_wanted)
        if (m_blockSerial[size_t(b)] <= m_since) {
            block = b;
            break;
        }
    if (block < 0)
        return silence();
    const auto summary = [](const QMap<TModbusKomunikator::ReadFault, int> &faults) {
        QStringList parts;
        for (auto f = faults.cbegin(); f != faults.cend(); ++f)
            parts.append(TModbusKomunikator::faultText(f.key(), f.value()));
        return parts.join(QStringLiteral(", "));
    };
    QString why = summary(m_faults[size_t(block)]);
    if (why.isEmpty()) {
        // The cycle never got to it: it kept asking for a block that failed.
        for (int b = 0; b < PollBlockCount && why.isEmpty(); ++b)
            if (!m_faults[size_t(b)].isEmpty())
                why = QStringLiteral("%1 kept failing (%2)").arg(blockName(b), summary(m_faults[size_t(b)]));
    }
    if (why.isEmpty())
        why = QStringLiteral("no whole answer");
    return CliFailure::failure(QStringLiteral("%1 never arrived whole within %2 s from the gateway (%3): %4")
                                   .arg(blockName(block))
                                   .arg(m_deadline.interval() / 1000.0, 0, 'f', 1)
                                   .arg(link().describe(), why));
}

CliFailure GatewaySession::silence() const
{
    QString text = QStringLiteral("No answer from the gateway (%1) within %2 ms: check the cable, the port and the "
                                  "line settings, or find them with tarvik-cli scan")
                       .arg(link().describe())
                       .arg(m_silenceTimeoutMs > 0 ? m_silenceTimeoutMs : timeoutMs());
    if (m_foreignAddress)
        text += QStringLiteral(" (answers came from address %1 instead)").arg(*m_foreignAddress);
    if (!m_silenceHint.isEmpty())
        text += QStringLiteral(" (") + m_silenceHint + QLatin1Char(')');
    return CliFailure::failure(text);
}

void GatewaySession::onTx(const TFrameBuffer &frame)
{
    if (frame.Len < 2)
        return;
    ++m_framesSent;
    const uint8_t function = frame.Data[1];
    if (function == kRead) {
        ++m_readSerial;
        // Measured from the first request left unanswered.
        if (!m_silence.isActive())
            m_silence.start(m_silenceTimeoutMs > 0 ? m_silenceTimeoutMs : timeoutMs());
    } else if (function == kWriteSingle || function == kWriteMultiple) {
        ++m_writesSent;
    }
    m_wait.check();
}

void GatewaySession::onRx(const TFrameBuffer &frame)
{
    if (!m_exceptionsEnd)
        return;
    const auto refused = ModbusException::find(QByteArray(reinterpret_cast<const char *>(frame.Data), frame.Len));
    if (refused)
        m_wait.fail(CliFailure::failure(QStringLiteral("The gateway refused the request: %1").arg(refused->text())));
}

void GatewaySession::onBlock()
{
    const int index = m_gateway.LastBlockIndex();
    m_gateway.GetRegisters(m_blocks[size_t(index)]);
    // A block is passed on as the next request goes out, so the last one sent is its own.
    m_blockSerial[size_t(index)] = m_readSerial;
    m_answeredSerial = m_readSerial;
    m_blockGeneration[size_t(index)] = ++m_generation;
    m_blockTakenAt[size_t(index)] = m_clock.elapsed();
    m_foreignAddress.reset();
    m_silence.stop();
    steer();
    m_wait.check();
}

void GatewaySession::steer()
{
    if (m_wanted.isEmpty())
        return;
    // The first block still missing; once all are there, round and round.
    for (int b : std::as_const(m_wanted))
        if (m_blockSerial[size_t(b)] <= m_since) {
            m_gateway.RequestBlock(b);
            return;
        }
    const qsizetype last = m_wanted.indexOf(int(m_gateway.LastBlockIndex()));
    m_gateway.RequestBlock(m_wanted[(last + 1) % m_wanted.size()]);
}

bool GatewaySession::readBlocks(const QList<int> &blocks, int since)
{
    m_wanted = blocks;
    m_since = since;
    m_faults = {};
    steer();
    m_deadline.start(deadlineMs(int(blocks.size())));
    const bool done = m_wait.until([this] {
        for (int b : std::as_const(m_wanted))
            if (m_blockSerial[size_t(b)] <= m_since)
                return false;
        return true;
    }) == EventWait::Result::Done;
    m_deadline.stop();
    return done;
}

void GatewaySession::keepReading(const QList<int> &blocks)
{
    m_deadline.stop();
    m_wanted = blocks;
    m_since = m_readSerial;
    steer();
}

void GatewaySession::readBlocksOrStop(const QList<int> &blocks, int since, const QString &interrupted)
{
    if (!readBlocks(blocks, since))
        throw CliFailure::failure(interrupted);
}

QList<TChannelRecord> GatewaySession::channelRecords() const
{
    QList<TChannelRecord> records;
    for (int b = 0; b < ChannelMap::ChannelCount / ChannelMap::ChannelsPerBlock; ++b)
        for (int k = 0; k < ChannelMap::ChannelsPerBlock; ++k)
            records.append(TChannelRecord::fromBlock(m_blocks[size_t(b)], k, b * ChannelMap::ChannelsPerBlock + 1));
    return records;
}

bool GatewaySession::waitAtMost(const std::function<bool()> &done, int ms)
{
    QTimer limit;
    limit.setSingleShot(true);
    bool over = false;
    connect(&limit, &QTimer::timeout, this, [&] {
        over = true;
        m_wait.check();
    });
    limit.start(ms);
    m_wait.until([&] { return over || done(); }, false);
    return done();
}

int GatewaySession::queued(const std::function<void()> &operation)
{
    if (!m_gateway.Active())
        throw CliFailure::failure(QString::fromLatin1(kPortInactiveMessage));
    const int before = m_writesSent;
    operation();
    const int count = int(m_gateway.WriteQueue().size());
    if (count == 0)
        throw CliFailure::failure(QStringLiteral("Busy, try again."));
    // A few writes 60 ms apart: not worth stopping half way at Ctrl+C. They wait for a quiet
    // line, though, which bytes that never stop coming would keep from them.
    if (!waitAtMost([this] { return m_gateway.WriteQueue().isEmpty(); }, deadlineMs(1)))
        throw CliFailure::failure(QStringLiteral("The line to the gateway was never quiet long enough for the writes: %1 of %2 went out.")
                                      .arg(m_writesSent - before)
                                      .arg(count));
    if (m_writesSent - before < count)
        throw CliFailure::failure(QStringLiteral("The gateway stopped answering, so the poll cycle dropped the write. "
                                                 "Nothing was changed; try again."));
    return m_readSerial;
}

int GatewaySession::atOnce(const std::function<void()> &operation)
{
    if (!m_gateway.Active())
        throw CliFailure::failure(QString::fromLatin1(kPortInactiveMessage));
    // Between a read request and its answer a write would garble both; after trouble on the
    // line it waits for a quiet one. The cycle knows when: it sends the write in a read's slot.
    const int before = m_framesSent;
    bool ran = false;
    m_gateway.RunWhenLineFree([&] {
        ran = true;
        operation();
        m_wait.check();
    });
    const bool settled = waitAtMost([&] { return ran || !m_gateway.Active(); }, deadlineMs(1));
    if (!ran)
        m_gateway.RunWhenLineFree(nullptr);
    if (!settled)
        throw CliFailure::failure(QStringLiteral("The line to the gateway was never quiet long enough for the write: nothing was sent."));
    if (m_framesSent == before)
        throw CliFailure::failure(QString::fromLatin1(kPortInactiveMessage));
    return m_readSerial;
}

TModbusKomunikator::RequestAnswer GatewaySession::exchange(const std::function<void()> &send)
{
    atOnce(send);
    // The cycle settles the answer at its next request at the latest (or its next tick, once
    // the answer's time is over); the limit only guards against a cycle that stopped.
    const auto decided = [this] {
        return m_gateway.LastRequestAnswer().outcome != TModbusKomunikator::RequestOutcome::Pending;
    };
    waitAtMost(decided, deadlineMs(1));
    return m_gateway.LastRequestAnswer();
}

void GatewaySession::setSilenceEndsSession(bool on)
{
    m_silenceEnds = on;
    m_silence.stop();
}
