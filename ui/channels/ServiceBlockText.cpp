#include "ServiceBlockText.h"

#include "ChannelText.h"
#include "RomCode.h"

namespace {
QString hex4(uint16_t w)
{
    return QStringLiteral("%1").arg(w, 4, 16, QLatin1Char('0')).toUpper();
}
int offset(uint16_t reg)
{
    return ServiceRegs::offset(reg);
}
} // namespace

RomCode::Words ServiceBlockText::newRomWords(const Block &s, int line)
{
    const int first = offset(ServiceRegs::NewRomCode[line]);
    return {s[size_t(first)], s[size_t(first + 1)], s[size_t(first + 2)], s[size_t(first + 3)]};
}

QString ServiceBlockText::newRomCode(const Block &s, int line)
{
    return QStringLiteral("New: ") + RomCode::toText(newRomWords(s, line));
}

QString ServiceBlockText::command(const Block &s, int line)
{
    return QStringLiteral("Command: 0x%1").arg(hex4(s[size_t(offset(ServiceRegs::CommandRegister[line]))]));
}

QString ServiceBlockText::operationStatus(const Block &s, int line)
{
    const uint16_t word = s[size_t(offset(ServiceRegs::OperationStatus[line]))];
    return QStringLiteral("Operation status: %1 (0x%2)").arg(ChannelText::StatusText(word), hex4(word));
}

QList<TChannelRecord> ServiceBlockText::foundRecords(uint16_t start, const Block &block)
{
    QList<TChannelRecord> records;
    const int first = (start - FoundList::Start[0]) / FoundList::RecordSize + 1;
    for (int k = 0; k < FoundList::RecordCount; ++k) {
        TChannelRecord r;
        r.channel = uint8_t(first + k);
        const int base = k * FoundList::RecordSize;
        for (int w = 0; w < 4; ++w)
            r.rom[size_t(w)] = block[size_t(base + w)];
        r.values[0] = block[size_t(base + FoundList::IndexOffset)];
        records.append(r);
    }
    return records;
}

int ServiceBlockText::lineState(const QList<uint8_t> &statuses)
{
    int state = ChannelStatus::Ok;
    for (uint8_t s : statuses)
        if (s == ChannelStatus::LineInHigh || s == ChannelStatus::ShortCircuit)
            state = s;
    return state;
}

QString ServiceBlockText::registerDump(uint16_t start, const Block &block)
{
    QString text = QStringLiteral("Starting Address: %1\r").arg(start);
    for (int r = 0; r < 25; ++r) {
        QStringList pairs;
        for (int o : {r, r + 25, r + 50, r + 75})
            pairs.append(QStringLiteral("%1 - %2").arg(o).arg(block[size_t(o)]));
        text += pairs.join(QLatin1Char('\t')) + QLatin1Char('\r');
    }
    return text;
}
