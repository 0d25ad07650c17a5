#include "TTarvikKomunikator.h"

#include "ErrorGuard.h"

const QStringList TTarvikKomunikator::ParityNames = {QStringLiteral("NONE"), QStringLiteral("ODD"),
                                                     QStringLiteral("EVEN")};
const QStringList TTarvikKomunikator::StopBitNames = {QStringLiteral("One"), QStringLiteral("Two")};

namespace {
bool knownKind(int kind)
{
    return kind >= TTarvikKomunikator::pkRS485 && kind <= TTarvikKomunikator::pkUSB;
}
} // namespace

TTarvikKomunikator::TTarvikKomunikator(TAfComPort *port, QObject *parent)
    : TModbusKomunikator(port, parent)
{
    m_importTimer.setTimerType(Qt::PreciseTimer);
    m_importTimer.setSingleShot(true);
    connect(&m_importTimer, &QTimer::timeout, this, [this] { ErrorGuard::run([this] { importStep(); }); });
}

void TTarvikKomunikator::SetBaudIndex(int i)
{
    if (BaudAt(i) > 0)
        SetBaudRate(BaudAt(i) * 100);
}

void TTarvikKomunikator::SetParity(int i)
{
    if (i >= 0 && i < ParityNames.size())
        m_port->setParity(TParity(i));
}

void TTarvikKomunikator::SetStopBits(int i)
{
    if (i == 0)
        m_port->setStopBits(TStopBits::sbOne);
    else if (i == 1)
        m_port->setStopBits(TStopBits::sbTwo);
}

void TTarvikKomunikator::SetAddressIndex(int i)
{
    if (i >= 0 && i < 247)
        setSlaveAddress(uint8_t(i + 1));
}

int TTarvikKomunikator::BaudIndexOf(int value)
{
    for (int i = int(BaudRateTable.size()) - 1; i >= 0; --i)
        if (BaudRateTable[size_t(i)] == value)
            return i;
    return 0;
}

int TTarvikKomunikator::BaudAt(int i)
{
    return i >= 0 && i < int(BaudRateTable.size()) ? BaudRateTable[size_t(i)] : 0;
}

void TTarvikKomunikator::FillBaudRates(QStringList &list, int kind)
{
    if (!knownKind(kind))
        return;
    for (uint16_t value : BaudRateTable)
        list.append(QString::asprintf("%.1f kBd", value / 10.0));
}

void TTarvikKomunikator::FillAddresses(QStringList &list, int kind)
{
    if (!knownKind(kind))
        return;
    const int last = kind == pkUSB ? 1 : 247;
    for (int a = 1; a <= last; ++a)
        list.append(QString::number(a));
}

void TTarvikKomunikator::FillParities(QStringList &list, int kind)
{
    if (knownKind(kind))
        list.append(ParityNames);
}

void TTarvikKomunikator::FillStopBits(QStringList &list, int kind)
{
    if (knownKind(kind))
        list.append(StopBitNames);
}

void TTarvikKomunikator::queueCommand(int line, uint16_t word, int nextBlock)
{
    QueueWrite(word, ServiceRegs::CommandRegister[line]);
    RequestBlock(nextBlock);
}

void TTarvikKomunikator::FindNew(int line)
{
    if (line == 0 || line == 1)
        queueCommand(line, Command::FindNew, ServiceBlockIndex);
}

void TTarvikKomunikator::FindNewAll(int line)
{
    if (line == 0 || line == 1)
        queueCommand(line, Command::FindNewAll, ServiceBlockIndex);
}

void TTarvikKomunikator::FindAll(int line)
{
    if (line == 0 || line == 1)
        queueCommand(line, Command::FindAll, ServiceBlockIndex);
}

void TTarvikKomunikator::SaveNewDevice(int c)
{
    if (ChannelMap::isChannel(c))
        queueCommand(ChannelMap::lineOf(c), uint16_t(Command::SaveNewBase + c - 1),
                     ChannelMap::blockIndexOf(c));
}

void TTarvikKomunikator::DeletePosition(int c)
{
    if (ChannelMap::isChannel(c))
        queueCommand(ChannelMap::lineOf(c), uint16_t(Command::DeleteBase + c - 1),
                     ChannelMap::blockIndexOf(c));
}

void TTarvikKomunikator::DeletePositionNow(int c)
{
    if (ChannelMap::isChannel(c))
        WriteRegister(uint16_t(Command::DeleteBase + c - 1), ServiceRegs::commandRegisterOf(c));
}

void TTarvikKomunikator::SaveFoundDevice(int index, int cc)
{
    if (cc >= 0 && cc < ChannelMap::ChannelCount)
        queueCommand(ChannelMap::lineOf(cc + 1), Command::saveFound(index, cc),
                     ChannelMap::blockIndexOf(cc + 1));
}

void TTarvikKomunikator::WriteRomCode(const std::array<uint16_t, 4> &words, int c)
{
    if (!ChannelMap::isChannel(c))
        return;
    WriteRegisters({words[0], words[1], words[2], words[3]}, ChannelMap::recordAddress(c));
    RequestBlock(ChannelMap::blockIndexOf(c));
}

void TTarvikKomunikator::ImportRomCodes(const QList<TChannelRecord> &records,
                                        ImportProgress progress, ImportFinished finished)
{
    if (m_counters.TimedOut()) {
        ImportResult result;
        result.status = ImportResult::InTimeout;
        if (finished)
            finished(result);
        return;
    }
    m_pollTimer.stop();
    m_port->purgeReceive();
    m_importRecords = records;
    m_importPos = 0;
    m_importPhase = ImportPhase::NextRecord;
    m_importStopRequested = false;
    m_importResult = {};
    m_importProgress = std::move(progress);
    m_importFinished = std::move(finished);
    importStep();
}

void TTarvikKomunikator::importStep()
{
    if (m_importPos < 0)
        return;
    if (m_importPhase != ImportPhase::NextRecord) {
        // A write is out: the timer's interval has passed since; go on only on its answer.
        answerTimePassed(m_importTimer.interval());
        const int channel = m_importRecords[m_importPos].channel;
        const RequestAnswer answer = LastRequestAnswer();
        if (answer.outcome == RequestOutcome::Pending) {
            m_importTimer.start(answer.waitMs);
            return;
        }
        if (answer.outcome != RequestOutcome::Confirmed) {
            m_importResult.failedChannel = channel;
            m_importResult.failedAtFree = m_importPhase == ImportPhase::Freeing;
            m_importResult.exceptionCode = answer.exceptionCode;
            finishImport(!Active() ? ImportResult::PortLost
                         : answer.outcome == RequestOutcome::Refused ? ImportResult::Refused
                                                                   : ImportResult::NoAnswer);
            return;
        }
        if (m_importPhase == ImportPhase::Freeing) {
            WriteRomCode(m_importRecords[m_importPos].rom, channel);
            m_importPhase = ImportPhase::Writing;
            // The gateway needs a poll interval to carry out each write.
            m_importTimer.start(PollInterval());
            return;
        }
        ++m_importResult.confirmed;
        m_importResult.rewritten.append(channel);
        ++m_importPos;
        m_importPhase = ImportPhase::NextRecord;
        if (m_importProgress)
            m_importProgress(m_importPos, int(m_importRecords.size()));
    }
    if (importNextRecord())
        m_importTimer.start(PollInterval());
}

bool TTarvikKomunikator::importNextRecord()
{
    // Positions never read name no channel: nothing is sent for them.
    while (m_importPos < m_importRecords.size() && !ChannelMap::isChannel(m_importRecords[m_importPos].channel)) {
        ++m_importPos;
        if (m_importProgress)
            m_importProgress(m_importPos, int(m_importRecords.size()));
    }
    if (m_importPos >= m_importRecords.size()) {
        finishImport(ImportResult::Completed);
        return false;
    }
    if (m_importStopRequested) {
        finishImport(ImportResult::Stopped);
        return false;
    }
    if (!Active()) {
        m_importResult.failedChannel = m_importRecords[m_importPos].channel;
        m_importResult.failedAtFree = true;
        finishImport(ImportResult::PortLost);
        return false;
    }
    m_port->purgeReceive();
    DeletePositionNow(m_importRecords[m_importPos].channel);
    m_importPhase = ImportPhase::Freeing;
    return true;
}

void TTarvikKomunikator::finishImport(ImportResult::Status status)
{
    m_importTimer.stop();
    m_importPos = -1;
    m_importPhase = ImportPhase::NextRecord;
    m_importStopRequested = false;
    m_importRecords.clear();
    m_importResult.status = status;
    // The cycle goes on wherever the link does: the blocks it reads show what the gateway holds.
    if (status != ImportResult::Stopped && Active()) {
        m_pollTimer.start();
        tickBegins();
        RequestBlock(0);
    }
    auto finished = std::move(m_importFinished);
    m_importFinished = nullptr;
    m_importProgress = nullptr;
    if (finished)
        finished(m_importResult);
}
