#include "TemperatureHistory.h"

#include "RegisterMap.h"
#include "RomCode.h"

namespace {
bool measuresTemperature(uint8_t family)
{
    return family == 0x10 || family == 0x19 || family == 0x26 || family == 0x28;
}
} // namespace

void TemperatureHistory::Ring::push(const Stored &s)
{
    if (!cells)
        cells.reset(new Stored[MaxPoints]); // default-initialised: not written until used
    if (count == MaxPoints)
        thin();
    cells[size_t((head + count) % MaxPoints)] = s;
    ++count;
}

void TemperatureHistory::Ring::dropOldest(qsizetype n)
{
    n = std::min(n, count);
    head = (head + n) % MaxPoints;
    count -= n;
}

void TemperatureHistory::Ring::thin()
{
    const qsizetype older = count * 3 / 4;
    std::vector<Stored> kept;
    kept.reserve(size_t(count));
    for (qsizetype i = 0; i < count; ++i)
        if (i >= older || i % 2 == 0 || at(i).centi == Gap)
            kept.push_back(at(i));
    std::copy(kept.begin(), kept.end(), cells.get());
    head = 0;
    count = qsizetype(kept.size());
}

void TemperatureHistory::add(const TChannelRecord &record, const QDateTime &at)
{
    if (record.channel < 1 || record.channel > Channels)
        return;
    const qint64 ms = at.toMSecsSinceEpoch();
    if (m_baseMs < 0)
        m_baseMs = ms;
    const qint64 tenths = (ms - m_baseMs) / 100;
    if (tenths < 0 || tenths > std::numeric_limits<qint32>::max())
        return; // a clock set back before the first sample, or years of running: not kept
    Ring &series = m_series[size_t(record.channel - 1)];
    const bool temperature = measuresTemperature(RomCode::familyOf(record.rom)) && record.status == ChannelStatus::Ok;
    if (temperature)
        m_measured[size_t(record.channel - 1)] = true;
    const bool afterGap = series.count > 0 && series.at(series.count - 1).centi == Gap;
    // Two gaps in a row say no more than one.
    if (!temperature && afterGap)
        return;
    auto &lastRom = m_lastRom[size_t(record.channel - 1)];
    // Another device in the channel: its line starts afresh.
    if (temperature && series.count > 0 && !afterGap && lastRom != record.rom)
        series.push({qint32(tenths), Gap});
    if (temperature)
        lastRom = record.rom;
    series.push({qint32(tenths), temperature ? qint32(int16_t(record.values[0])) * 10 : Gap});
    // Older than a day: gone.
    const qint32 oldest = qint32(tenths - SpanMs / 100);
    qsizetype drop = 0;
    while (drop < series.count && series.at(drop).tenths < oldest)
        ++drop;
    series.dropOldest(drop);
}

QList<TemperatureHistory::Point> TemperatureHistory::points(int channel, qint64 fromMs, qint64 toMs) const
{
    QList<Point> out;
    if (channel < 1 || channel > Channels || m_baseMs < 0)
        return out;
    const Ring &series = m_series[size_t(channel - 1)];
    for (qsizetype i = 0; i < series.count; ++i) {
        const Stored &s = series.at(i);
        const qint64 ms = m_baseMs + qint64(s.tenths) * 100;
        if (ms < fromMs || ms > toMs)
            continue;
        out.append({ms, s.centi == Gap ? std::nan("") : s.centi / 100.0});
    }
    return out;
}

std::optional<TemperatureHistory::Point> TemperatureHistory::latestAt(int channel, qint64 ms) const
{
    if (channel < 1 || channel > Channels || m_baseMs < 0 || ms < m_baseMs)
        return std::nullopt;
    const Ring &series = m_series[size_t(channel - 1)];
    const qint64 tenths = std::min<qint64>((ms - m_baseMs) / 100, std::numeric_limits<qint32>::max());
    // The points are in time order: the first one after the time, and the one before it.
    qsizetype lo = 0, hi = series.count;
    while (lo < hi) {
        const qsizetype mid = (lo + hi) / 2;
        if (series.at(mid).tenths <= tenths)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0)
        return std::nullopt;
    const Stored &s = series.at(lo - 1);
    return Point{m_baseMs + qint64(s.tenths) * 100, s.centi == Gap ? std::nan("") : s.centi / 100.0};
}

int TemperatureHistory::pointCount(int channel) const
{
    return channel < 1 || channel > Channels ? 0 : int(m_series[size_t(channel - 1)].count);
}

bool TemperatureHistory::hasTemperature(int channel) const
{
    return channel >= 1 && channel <= Channels && m_measured[size_t(channel - 1)];
}

void TemperatureHistory::clear()
{
    for (Ring &s : m_series)
        s = Ring();
    m_measured.fill(false);
    m_lastRom = {};
    m_baseMs = -1;
}

qsizetype TemperatureHistory::memoryBytes() const
{
    qsizetype bytes = 0;
    for (const Ring &s : m_series)
        bytes += s.cells ? qsizetype(MaxPoints * sizeof(Stored)) : 0;
    return bytes;
}
