#include "TTarvikKomunikator.h"

#include "ErrorGuard.h"
#include "LinkMessages.h"
#include "Prompts.h"

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
    m_pollTimer.stop();
    m_port->purgeReceive();
    m_importRecords = records;
    m_importPos = 0;
    m_importWriteNext = false;
    m_importStopRequested = false;
    m_importDone = 0;
    m_importProgress = std::move(progress);
    m_importFinished = std::move(finished);
    importStep();
}

void TTarvikKomunikator::importStep()
{
    if (m_importPos < 0)
        return;
    if (m_importPos >= m_importRecords.size()) {
        finishImport(true);
        return;
    }
    if (m_importStopRequested && !m_importWriteNext) {
        finishImport(false);
        return;
    }
    if (!Active()) {
        // The link went away: said once, and the rest is not attempted.
        Prompts::current().information(QString::fromLatin1(kPortInactiveMessage));
        finishImport(false);
        return;
    }
    const TChannelRecord &record = m_importRecords[m_importPos];
    if (!m_importWriteNext) {
        m_port->purgeReceive();
        DeletePositionNow(record.channel);
        m_importWriteNext = true;
    } else {
        WriteRomCode(record.rom, record.channel);
        m_importWriteNext = false;
        ++m_importPos;
        m_importDone = m_importPos;
        if (m_importProgress)
            m_importProgress(m_importPos, int(m_importRecords.size()));
    }
    // The gateway needs a poll interval to carry out each write.
    m_importTimer.start(PollInterval());
}

void TTarvikKomunikator::finishImport(bool completed)
{
    m_importTimer.stop();
    m_importPos = -1;
    m_importStopRequested = false;
    m_importRecords.clear();
    if (completed) {
        m_pollTimer.start();
        RequestBlock(0);
    }
    auto finished = std::move(m_importFinished);
    m_importFinished = nullptr;
    m_importProgress = nullptr;
    if (finished)
        finished(completed);
}
