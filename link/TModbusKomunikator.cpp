#include "TModbusKomunikator.h"

#include "LinkMessages.h"
#include "ModbusCrc.h"
#include "Prompts.h"

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
    // The first advancing poll reads the service block (index 4).
    m_blockIndex = 3;
    m_pollTimer.start();
}

void TModbusKomunikator::Close()
{
    TKomunikator::Close();
    m_pollTimer.stop();
}

void TModbusKomunikator::SetBaudRate(qint32 baud)
{
    m_port->setUserBaudRate(baud);
    if (baud != 0)
        SetPollInterval(qMax(4800000 / baud, 300));
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
    SendFrame();
    m_counters.FrameSent();
    m_counters.setAwaiting(true);
}

void TModbusKomunikator::sendUncounted()
{
    SendFrame();
    m_counters.setAwaiting(false);
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
    // Leftovers (write echoes, a late answer) must not be taken for this request's answer.
    m_port->purgeReceive();
    // Only the low byte of the register count goes out; the high byte is always 0.
    setRequest(0x03, address, uint8_t(m_registerCount));
    AppendCrc();
    sendCounted();
}

void TModbusKomunikator::WriteRegister(uint16_t value, uint16_t address)
{
    // A gateway that does not answer reads would not take the write either.
    if (m_counters.TimedOut())
        return;
    setRequest(0x06, address, value);
    AppendCrc();
    sendUncounted();
}

void TModbusKomunikator::WriteRegisters(const QList<uint16_t> &values, uint16_t startAddress)
{
    if (!Active()) {
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
    if (!m_writeQueue.isEmpty()) {
        m_cycleState = Writing;
        setTimerInterval(WriteIntervalMs);
    }
    switch (m_cycleState) {
    case Polling:
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

void TModbusKomunikator::pollStep()
{
    const int waiting = m_port->bytesWaiting();
    if (m_awaitingAnswer && waiting == 0) {
        // No answer within one poll interval: pause, then ask again.
        m_cycleState = Pausing;
        setTimerInterval(PauseMs);
        m_awaitingAnswer = false;
        return;
    }
    if (waiting > 0 && waiting < m_answerLength) {
        // A short answer (an exception, a write's echo): drop it uncounted.
        ReadAnswer();
        m_counters.setAwaiting(false);
    }
    // While the gateway is silent the same block is asked for again.
    if (!m_counters.TimedOut())
        m_blockIndex = uint8_t((m_blockIndex + 1) % PollBlockCount);
    ReadBlock(PollBlocks[m_blockIndex]);
    m_lastBlockIndex = m_blockIndex;
    m_awaitingAnswer = true;
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
    }
    WriteRegister(entry.Value, entry.Address);
}

void TModbusKomunikator::DataReceived(TAfComPort *, int count)
{
    m_awaitingAnswer = false;
    // A partial answer stays in the port's queue until the rest arrives, the next tick drains
    // it, or the next read request purges it.
    if (count < m_answerLength)
        return;
    ReadAnswer();
    // Extra bytes after the answer make it invalid. The CRC check alone would let one trailing
    // zero byte through (the CRC of a frame's bytes up to its first CRC byte ends in 0x00), so
    // the length is checked too.
    const bool ok = m_rxFrame.Len == m_answerLength && AnswerCrcValid();
    m_counters.AnswerReceived(ok);
    if (ok && OnBlockReceived)
        OnBlockReceived();
}
