// One piece: the holding registers, the devices on the two lines, the channel assignments and
// the search/assign commands are one state. Every command and every register write changes
// several of them together (an assignment rewrites the channel's record, a search fills the
// found list from the devices present), and the population file builds that same state, so
// splitting them would hand the whole state from class to class.
#include "GatewayModel.h"

#include "OneWireCrc.h"
#include "RegisterMap.h"
#include "TTarvikKomunikator.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <algorithm>
#include <cmath>

namespace {

constexpr std::array<uint16_t, 4> kNoDevice = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};

// The gateway takes the same speeds the tool offers, in units of 100 Bd.
bool isBaudTableValue(uint16_t v)
{
    const auto &table = TTarvikKomunikator::BaudRateTable;
    return std::find(table.begin(), table.end(), v) != table.end();
}

// Exactly sixteen hex digits: no "0x", no sign, no blanks.
std::optional<std::array<uint16_t, 4>> parseRom(const QString &text)
{
    static const QRegularExpression hex16(QStringLiteral("^[0-9A-Fa-f]{16}$"));
    if (!hex16.match(text).hasMatch())
        return std::nullopt;
    std::array<uint16_t, 4> rom{};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        rom[size_t(i)] = uint16_t(text.mid(4 * i, 4).toUInt(&ok, 16));
        if (!ok)
            return std::nullopt;
    }
    return rom;
}

} // namespace

GatewayModel::GatewayModel(quint32 seed) : m_rng(seed)
{
    m_regs[ServiceRegs::FirmwareVersion] = FirmwareVersion;
    m_regs[ServiceRegs::HardwareVersion] = HardwareVersion;
    setPortSettings(1, 9600, 0, 1);
    m_regs[ServiceRegs::Com1Address] = 1;
    m_regs[ServiceRegs::Com1BaudRate] = 96;
    m_regs[ServiceRegs::Com1StopBits] = 1;
    m_regs[ServiceRegs::Com1Parity] = 0;
    m_regs[ServiceRegs::PowerControl] = 1;
    for (int line = 0; line < 2; ++line)
        m_regs[ServiceRegs::OperationStatus[line]] = OperationStatus::NoCommand;
    refreshChannels();
}

std::array<uint16_t, 4> GatewayModel::makeRom(uint8_t family, uint64_t serial48)
{
    uint8_t bytes[8];
    bytes[0] = family;
    for (int i = 0; i < 6; ++i)
        bytes[1 + i] = uint8_t(serial48 >> (8 * i));
    bytes[7] = OneWireCrc::compute(bytes, 7);
    return {uint16_t(bytes[0] << 8 | bytes[1]), uint16_t(bytes[2] << 8 | bytes[3]),
            uint16_t(bytes[4] << 8 | bytes[5]), uint16_t(bytes[6] << 8 | bytes[7])};
}

void GatewayModel::setPortSettings(uint8_t address, int baud, int parity, int stopBits)
{
    m_regs[ServiceRegs::Com0Address] = address;
    m_regs[ServiceRegs::Com0BaudRate] = uint16_t(baud / 100);
    m_regs[ServiceRegs::Com0Parity] = uint16_t(parity);
    m_regs[ServiceRegs::Com0StopBits] = uint16_t(stopBits);
}

void GatewayModel::setAnswerDelay(uint16_t ms)
{
    m_regs[ServiceRegs::Com0Delay] = ms;
    m_regs[ServiceRegs::Com1Delay] = ms;
}

uint16_t GatewayModel::answerDelayMs() const
{
    return m_regs[ServiceRegs::Com0Delay];
}

void GatewayModel::clearPopulation()
{
    m_devices.clear();
    m_removedAt.clear();
    m_assigned.fill(std::nullopt);
    m_lineFault.fill(0);
    refreshChannels();
}

void GatewayModel::addDevice(const SimDevice &device, int channel)
{
    m_devices.append(device);
    m_removedAt.append(-1000000);
    if (ChannelMap::isChannel(channel))
        assign(channel, device.rom);
    refreshChannels();
}

void GatewayModel::loadDemoPopulation(int variant)
{
    clearPopulation();
    // A variant changes the top byte of every serial number and raises the temperatures by
    // half a degree a step (in sixteen steps, so they stay within the sensors' range).
    const uint64_t serialMix = uint64_t(variant & 0xFF) << 40;
    const double warmer = 0.5 * (variant % 16);
    auto dev = [=](uint8_t family, uint64_t serial, int line, double t) {
        SimDevice d;
        d.rom = makeRom(family, serial ^ serialMix);
        d.line = line;
        d.temperature = t + warmer;
        return d;
    };
    // Line 1: every family the display knows, an unknown family and each error status.
    addDevice(dev(0x28, 0x05E260A215FF, 0, 21.5), 1);
    addDevice(dev(0x10, 0x000802B3C412, 0, -20.0), 2);
    SimDevice humid = dev(0x19, 0x00000A1B2C3D, 0, 23.4);
    humid.humidity = 45.3;
    addDevice(humid, 3);
    addDevice(dev(0x26, 0x0000001F2E3D, 0, 24.1), 4);
    SimDevice ibutton = dev(0x01, 0x00001A2B3C4D, 0, 0);
    ibutton.chipConnected = true;
    ibutton.counter = 12;
    addDevice(ibutton, 5);
    addDevice(dev(0x3A, 0x0000000000A7, 0, 0), 6); // a family the display does not know
    SimDevice unsupported = dev(0x22, 0x0000000001B2, 0, 0);
    unsupported.forcedStatus = ChannelStatus::UnsupportedFamily;
    addDevice(unsupported, 7);
    SimDevice crcFault = dev(0x28, 0x05E260A21600, 0, 19.0);
    crcFault.forcedStatus = ChannelStatus::CrcError;
    addDevice(crcFault, 8);
    SimDevice gone = dev(0x28, 0x05E260A21601, 0, 18.0);
    gone.present = false; // assigned, but not answering on the wire
    addDevice(gone, 9);
    SimDevice notRead = dev(0x28, 0x05E260A21602, 0, 17.0);
    notRead.forcedStatus = ChannelStatus::NotRead;
    addDevice(notRead, 10);
    addDevice(dev(0x28, 0x05E260A2F00D, 0, 22.0)); // on the wire, not yet assigned

    // Line 2: thermometers, a humidity sensor, an iButton probe without a chip.
    addDevice(dev(0x28, 0x03A1B2C3D4E5, 1, 4.5), 21);
    addDevice(dev(0x28, 0x03A1B2C3D4E6, 1, 5.0), 22);
    SimDevice humid2 = dev(0x19, 0x00000A1B2C3E, 1, 26.0);
    humid2.humidity = 61.0;
    addDevice(humid2, 23);
    addDevice(dev(0x01, 0x00001A2B3C4E, 1, 0), 24);
    addDevice(dev(0x10, 0x000802B3C413, 1, 35.5), 25);
    addDevice(dev(0x28, 0x03A1B2C3F001, 1, 20.0)); // two devices not yet assigned
    addDevice(dev(0x28, 0x03A1B2C3F002, 1, 20.5));
}

bool GatewayModel::loadPopulationFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return loadPopulationText(file.readAll(), path, error);
}

bool GatewayModel::loadPopulationText(const QByteArray &text, const QString &path, QString *error)
{
    GatewayModel scratch(0);
    scratch.clearPopulation();
    QTextStream in(text);
    int lineNo = 0;
    while (!in.atEnd()) {
        ++lineNo;
        const QString raw = in.readLine();
        const QString text = raw.section(QLatin1Char('#'), 0, 0).trimmed();
        if (text.isEmpty())
            continue;
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        const QStringList t = text.split(blanks, Qt::SkipEmptyParts);
        auto fail = [&](const QString &why) {
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(lineNo).arg(why);
            return false;
        };
        if (t[0] != QLatin1String("device") && t[0] != QLatin1String("fault"))
            return fail(QStringLiteral("unknown entry \"%1\"; a line is \"device LINE ROM ...\" or \"fault LINE short|high\"").arg(t[0]));
        if (t.size() < 3)
            return fail(QStringLiteral("\"%1\" needs a line number and %2").arg(t[0], t[0] == QLatin1String("fault") ? QStringLiteral("short or high") : QStringLiteral("a ROM code")));
        if (t[1] != QLatin1String("1") && t[1] != QLatin1String("2"))
            return fail(QStringLiteral("line \"%1\" is not 1 or 2").arg(t[1]));
        const int line = t[1].toInt() - 1;
        if (t[0] == QLatin1String("fault")) {
            if (t.size() != 3)
                return fail(QStringLiteral("a line fault is \"fault LINE short|high\", nothing more"));
            if (t[2] == QLatin1String("short"))
                scratch.m_lineFault[size_t(line)] = ChannelStatus::ShortCircuit;
            else if (t[2] == QLatin1String("high"))
                scratch.m_lineFault[size_t(line)] = ChannelStatus::LineInHigh;
            else
                return fail(QStringLiteral("line fault \"%1\" is not short or high").arg(t[2]));
            continue;
        }
        const auto rom = parseRom(t[2]);
        if (!rom)
            return fail(QStringLiteral("ROM code \"%1\" is not 16 hex digits").arg(t[2]));
        for (const SimDevice &other : scratch.m_devices)
            if (other.rom == *rom)
                return fail(QStringLiteral("ROM code %1 is listed twice").arg(t[2]));
        SimDevice d;
        d.rom = *rom;
        d.line = line;
        int channel = 0;
        for (int i = 3; i < t.size(); ++i) {
            const QString key = t[i];
            if (key == QLatin1String("absent")) {
                d.present = false;
                continue;
            }
            if (key == QLatin1String("connected")) {
                d.chipConnected = true;
                continue;
            }
            if (key != QLatin1String("channel") && key != QLatin1String("temp") && key != QLatin1String("hum")
                && key != QLatin1String("status"))
                return fail(QStringLiteral("unknown setting \"%1\" (channel, temp, hum, status, absent, connected)").arg(key));
            if (i + 1 >= t.size())
                return fail(QStringLiteral("\"%1\" needs a value").arg(key));
            const QString valueText = t[++i];
            bool ok = false;
            if (key == QLatin1String("channel") || key == QLatin1String("status")) {
                const int value = valueText.toInt(&ok);
                if (key == QLatin1String("channel")) {
                    const int first = line * ChannelMap::ChannelsPerLine + 1;
                    const int last = first + ChannelMap::ChannelsPerLine - 1;
                    if (!ok || value < first || value > last)
                        return fail(QStringLiteral("channel \"%1\" is not a whole number from %2 to %3 (line %4)")
                                        .arg(valueText).arg(first).arg(last).arg(line + 1));
                    if (scratch.m_assigned[size_t(value - 1)])
                        return fail(QStringLiteral("channel %1 already has a device").arg(value));
                    channel = value;
                } else {
                    if (!ok || value < 0 || value > 255)
                        return fail(QStringLiteral("status \"%1\" is not a whole number from 0 to 255").arg(valueText));
                    d.forcedStatus = uint8_t(value);
                }
                continue;
            }
            const double value = valueText.toDouble(&ok);
            if (key == QLatin1String("temp")) {
                if (!ok || !std::isfinite(value) || value <= -55 || value >= 125)
                    return fail(QStringLiteral("temp \"%1\" is not a number above -55 and below 125").arg(valueText));
                d.temperature = value;
            } else {
                if (!ok || !std::isfinite(value) || value < 0 || value > 100)
                    return fail(QStringLiteral("hum \"%1\" is not a number from 0 to 100").arg(valueText));
                d.humidity = value;
            }
        }
        scratch.addDevice(d, channel);
    }
    m_devices = scratch.m_devices;
    m_removedAt = scratch.m_removedAt;
    m_assigned = scratch.m_assigned;
    m_lineFault = scratch.m_lineFault;
    refreshChannels();
    return true;
}

void GatewayModel::setDevicePresent(const std::array<uint16_t, 4> &rom, bool present)
{
    for (SimDevice &d : m_devices)
        if (d.rom == rom)
            d.present = present;
    refreshChannels();
}

void GatewayModel::setLineFault(int line, uint8_t fault)
{
    if (line == 0 || line == 1)
        m_lineFault[size_t(line)] = fault;
    refreshChannels();
}

std::optional<std::array<uint16_t, 4>> GatewayModel::assigned(int c) const
{
    return ChannelMap::isChannel(c) ? m_assigned[size_t(c - 1)] : std::nullopt;
}

bool GatewayModel::isReadable(uint16_t reg) const
{
    return reg < ChannelMap::ChannelCount * ChannelMap::RecordSize
           || (reg >= ServiceRegs::Start && reg < FoundList::Start[1] + 100)
           || (reg >= FirmwareRegs::ChunkOffset && reg <= FirmwareRegs::DataLast);
}

GatewayModel::Access GatewayModel::read(uint16_t start, int count, QList<uint16_t> &out)
{
    out.clear();
    for (int i = 0; i < count; ++i) {
        const int reg = start + i;
        if (reg >= RegisterSpace || !isReadable(uint16_t(reg)))
            return Access::IllegalAddress;
    }
    refreshChannels();
    for (int i = 0; i < count; ++i)
        out.append(m_regs[size_t(start + i)]);
    return Access::Ok;
}

GatewayModel::Access GatewayModel::validatePortSetting(uint16_t reg, uint16_t value) const
{
    switch (reg) {
    case ServiceRegs::Com0Address:
    case ServiceRegs::Com1Address:
        return value >= 1 && value <= 247 ? Access::Ok : Access::IllegalValue;
    case ServiceRegs::Com0BaudRate:
    case ServiceRegs::Com1BaudRate:
        return isBaudTableValue(value) ? Access::Ok : Access::IllegalValue;
    case ServiceRegs::Com0StopBits:
    case ServiceRegs::Com1StopBits:
        return value == 1 || value == 2 ? Access::Ok : Access::IllegalValue;
    case ServiceRegs::Com0Parity:
    case ServiceRegs::Com1Parity:
        return value <= 2 ? Access::Ok : Access::IllegalValue;
    case ServiceRegs::Com0Delay:
    case ServiceRegs::Com1Delay:
        return value <= 200 ? Access::Ok : Access::IllegalValue;
    case ServiceRegs::PowerControl:
        return value <= 5 ? Access::Ok : Access::IllegalValue;
    default:
        return Access::IllegalAddress;
    }
}

GatewayModel::Access GatewayModel::writeSingle(uint16_t reg, uint16_t value)
{
    return writeMultiple(reg, {value});
}

GatewayModel::Access GatewayModel::writeMultiple(uint16_t start, const QList<uint16_t> &values)
{
    const int count = int(values.size());
    const int end = start + count; // one past the last register
    if (count == 0 || end > RegisterSpace)
        return Access::IllegalAddress;

    // ROM codes of channels: registers 0..3 of a record, nothing else of it.
    if (end <= ChannelMap::ChannelCount * ChannelMap::RecordSize) {
        const int channel = start / ChannelMap::RecordSize + 1;
        const int offset = start % ChannelMap::RecordSize;
        if (offset + count > ChannelMap::RomWords)
            return Access::IllegalAddress;
        std::array<uint16_t, 4> rom = m_assigned[size_t(channel - 1)].value_or(kNoDevice);
        for (int i = 0; i < count; ++i)
            rom[size_t(offset + i)] = values[i];
        if (rom == kNoDevice)
            freeChannel(channel);
        else
            assign(channel, rom);
        refreshChannels();
        return Access::Ok;
    }

    // Firmware update: erase a page, or take a chunk of the new image.
    if (start >= FirmwareRegs::ChunkOffset && end <= FirmwareRegs::DataLast + 1) {
        if (start == FirmwareRegs::ErasePage && count == 1)
            m_erasedPages.append(values[0]);
        else if (start == FirmwareRegs::ChunkOffset && count == 97)
            storeFirmwareChunk(values);
        for (int i = 0; i < count; ++i)
            m_regs[size_t(start + i)] = values[i];
        return Access::Ok;
    }

    // Service block: port settings and the two command registers.
    for (int i = 0; i < count; ++i) {
        const uint16_t reg = uint16_t(start + i);
        if (reg == ServiceRegs::CommandRegister[0] || reg == ServiceRegs::CommandRegister[1])
            continue;
        const Access a = validatePortSetting(reg, values[i]);
        if (a != Access::Ok)
            return a;
    }
    for (int i = 0; i < count; ++i) {
        const uint16_t reg = uint16_t(start + i);
        m_regs[reg] = values[i];
        for (int line = 0; line < 2; ++line)
            if (reg == ServiceRegs::CommandRegister[line])
                runCommand(line, values[i]);
    }
    return Access::Ok;
}

void GatewayModel::storeFirmwareChunk(const QList<uint16_t> &values)
{
    // The offset field carries only the low 16 bits; chunks come in order, so a smaller offset
    // than the last one means the next 64 KiB.
    const int low = values[0];
    if (m_lastChunkOffset >= 0 && low < (m_lastChunkOffset & 0xFFFF) && m_lastChunkOffset - low > 0x8000)
        m_imageBase += 0x10000;
    const int offset = m_imageBase + low;
    m_lastChunkOffset = offset;
    QByteArray chunk;
    for (int i = 1; i < values.size(); ++i) {
        chunk.append(char(values[i] >> 8));
        chunk.append(char(values[i] & 0xFF));
    }
    if (m_image.size() < offset + chunk.size())
        m_image.resize(offset + chunk.size(), char(0xFF));
    m_image.replace(offset, chunk.size(), chunk);
}

QList<const SimDevice *> GatewayModel::presentOnLine(int line) const
{
    QList<const SimDevice *> result;
    if (m_lineFault[size_t(line)] != 0)
        return result;
    for (const SimDevice &d : m_devices)
        if (d.line == line && d.present)
            result.append(&d);
    return result;
}

QList<const SimDevice *> GatewayModel::unassignedOnLine(int line) const
{
    QList<const SimDevice *> result;
    for (const SimDevice *d : presentOnLine(line)) {
        bool isAssigned = false;
        for (const auto &a : m_assigned)
            if (a && *a == d->rom)
                isAssigned = true;
        if (!isAssigned)
            result.append(d);
    }
    return result;
}

const SimDevice *GatewayModel::deviceByRom(const std::array<uint16_t, 4> &rom) const
{
    for (const SimDevice &d : m_devices)
        if (d.rom == rom)
            return &d;
    return nullptr;
}

void GatewayModel::fillFoundList(int line, const QList<const SimDevice *> &found)
{
    m_found[size_t(line)].clear();
    for (int k = 0; k < FoundList::RecordCount; ++k) {
        const uint16_t base = FoundList::recordAddress(line, k);
        const bool used = k < found.size();
        for (int w = 0; w < 4; ++w)
            m_regs[base + w] = used ? found[k]->rom[size_t(w)] : 0;
        m_regs[base + FoundList::IndexOffset] = used ? uint16_t(k) : 0;
        if (used)
            m_found[size_t(line)].append(found[k]->rom);
    }
}

void GatewayModel::runCommand(int line, uint16_t word)
{
    uint16_t &status = m_regs[ServiceRegs::OperationStatus[line]];
    const int cc = word & 0xFF;
    // A channel command names a position on this line's register only.
    const bool ccOnLine = cc < ChannelMap::ChannelCount && ChannelMap::lineOf(cc + 1) == line;

    if (word == Command::FindNew) {
        const auto candidates = unassignedOnLine(line);
        std::array<uint16_t, 4> rom{};
        if (candidates.size() == 1) {
            rom = candidates.first()->rom;
            status = OperationStatus::Ok;
        } else {
            // Nothing new answers, or several answer at once and their bits collide.
            status = candidates.isEmpty() ? OperationStatus::RomReadError : OperationStatus::RomCrcError;
        }
        m_newRom[size_t(line)] = rom;
        for (int w = 0; w < 4; ++w)
            m_regs[ServiceRegs::NewRomCode[line] + w] = rom[size_t(w)];
    } else if (word == Command::FindNewAll) {
        fillFoundList(line, unassignedOnLine(line));
        status = OperationStatus::Ok;
    } else if (word == Command::FindAll) {
        fillFoundList(line, presentOnLine(line));
        status = OperationStatus::Ok;
    } else if ((word & 0xFF00) == Command::SaveNewBase) {
        if (!ccOnLine) {
            status = OperationStatus::ChannelOutOfRange;
        } else if (m_newRom[size_t(line)] == std::array<uint16_t, 4>{}) {
            status = OperationStatus::RomReadError;
        } else {
            assign(cc + 1, m_newRom[size_t(line)]);
            status = OperationStatus::Ok;
        }
    } else if ((word & 0xFF00) == Command::DeleteBase) {
        if (!ccOnLine) {
            status = OperationStatus::ChannelOutOfRange;
        } else {
            freeChannel(cc + 1);
            status = OperationStatus::Ok;
        }
    } else if (word & Command::SaveFoundFlag) {
        const int index = (word >> 8) & 0x7F;
        if (!ccOnLine) {
            status = OperationStatus::ChannelOutOfRange;
        } else if (index >= m_found[size_t(line)].size()) {
            status = OperationStatus::RomReadError;
        } else {
            assign(cc + 1, m_found[size_t(line)][index]);
            status = OperationStatus::Ok;
        }
    } else {
        status = OperationStatus::UnsupportedCommand;
    }
    refreshChannels();
}

void GatewayModel::assign(int channel, const std::array<uint16_t, 4> &rom)
{
    m_assigned[size_t(channel - 1)] = rom;
}

void GatewayModel::freeChannel(int channel)
{
    m_assigned[size_t(channel - 1)] = std::nullopt;
}

void GatewayModel::refreshChannels()
{
    for (int c = 1; c <= ChannelMap::ChannelCount; ++c)
        writeChannelRecord(c);
}

void GatewayModel::writeChannelRecord(int channel)
{
    uint16_t *r = &m_regs[ChannelMap::recordAddress(channel)];
    std::array<uint16_t, 4> rom = kNoDevice;
    std::array<uint16_t, 5> values = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    uint8_t status = ChannelStatus::FreePosition;

    const auto &assignedRom = m_assigned[size_t(channel - 1)];
    const int line = ChannelMap::lineOf(channel);
    if (assignedRom) {
        const SimDevice *d = deviceByRom(*assignedRom);
        if (m_lineFault[size_t(line)] != 0) {
            status = m_lineFault[size_t(line)]; // nothing can be read on a faulty line
        } else if (!d || !d->present || d->line != line) {
            rom = *assignedRom;
            status = ChannelStatus::Timeout;
        } else {
            rom = *assignedRom;
            status = d->forcedStatus;
            const auto temp = uint16_t(int16_t(std::lround(d->temperature * 10)));
            const int index = int(d - m_devices.constData());
            const bool recentlyRemoved = m_clockMs - m_removedAt.value(index, -1000000) < 20000;
            switch (d->family()) {
            case 0x28:
            case 0x10:
                values = {temp, 0, 0, 0, 0};
                break;
            case 0x19:
                values = {temp, uint16_t(std::lround(d->humidity * 10)), 0, 0, 0};
                break;
            case 0x26:
                values = {temp, 498, 12, 3300, 0};
                break;
            case 0x01:
                values = {uint16_t(d->chipConnected ? 1 : 0), d->counter, 0, 0,
                          uint16_t(d->chipConnected || recentlyRemoved ? 1 : 0)};
                break;
            default:
                values = {1, 2, 3, 4, 5};
                break;
            }
            if (status != ChannelStatus::Ok && status != ChannelStatus::NotRead)
                values = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
        }
    }
    for (int i = 0; i < 4; ++i)
        r[ChannelMap::RomOffset + i] = rom[size_t(i)];
    for (int i = 0; i < 5; ++i)
        r[ChannelMap::ValueOffset + i] = values[size_t(i)];
    r[ChannelMap::StatusOffset] = status;
}

void GatewayModel::advance(int ms)
{
    m_clockMs += ms;
    const double steps = ms / 1000.0;
    for (int i = 0; i < m_devices.size(); ++i) {
        SimDevice &d = m_devices[i];
        // A slow random walk of a tenth of a degree per second at most.
        d.temperature += steps * (m_rng.generateDouble() - 0.5) * 0.2;
        d.humidity = qBound(0.0, d.humidity + steps * (m_rng.generateDouble() - 0.5) * 0.4, 100.0);
        if (d.family() == 0x01 && m_rng.generateDouble() < steps / 30.0) {
            d.chipConnected = !d.chipConnected;
            if (d.chipConnected)
                ++d.counter;
            else
                m_removedAt[i] = m_clockMs;
        }
    }
    refreshChannels();
}
