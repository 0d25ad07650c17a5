#pragma once

#include "TChannelRecord.h"

#include <QDateTime>
#include <QList>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

// The temperatures of the 40 channels over the last 24 hours, at the resolution of the poll,
// in bounded memory (a ring of MaxPoints points a channel, allocated at its first sample): when a channel
// is full, every other point of its older three quarters is dropped (the newest points are
// never thinned), and points older than 24 hours go. A channel read with an error status, or holding a device that measures no
// temperature, gets a gap (NaN) rather than a value. So does a channel whose device (ROM code)
// changed between two temperatures: the gap, at the first reading of the new device, keeps a
// line from joining two sensors.
class TemperatureHistory
{
public:
    static constexpr int Channels = 40;
    static constexpr int MaxPoints = 16384;
    static constexpr qint64 SpanMs = 24LL * 3600 * 1000;

    struct Point
    {
        qint64 ms;    // since the epoch
        double value; // NaN for a gap
    };

    // One polled channel record at the given time.
    void add(const TChannelRecord &record, const QDateTime &at);
    QList<Point> points(int channel, qint64 fromMs = 0, qint64 toMs = std::numeric_limits<qint64>::max()) const;
    // The channel's last point at or before the time (a gap's value is NaN); none before its
    // first point.
    std::optional<Point> latestAt(int channel, qint64 ms) const;
    int pointCount(int channel) const;
    // Whether the channel ever had a temperature.
    bool hasTemperature(int channel) const;
    void clear();
    // The memory the points take (the bound is MaxPoints x 8 bytes x 40 channels, 5 MiB).
    qsizetype memoryBytes() const;

private:
    // A point as kept: tenths of a second since the first sample, and the value in hundredths
    // of a degree (INT32_MIN for a gap); 8 bytes.
    struct Stored
    {
        qint32 tenths;
        qint32 centi;
    };
    static constexpr qint32 Gap = std::numeric_limits<qint32>::min();

    // One channel's points in a ring of MaxPoints places, allocated at its first sample and
    // left uninitialised: only the pages points are written to take memory, so a free
    // position (one gap) costs a page, not the whole ring.
    struct Ring
    {
        std::unique_ptr<Stored[]> cells;
        qsizetype head = 0; // the oldest point
        qsizetype count = 0;
        const Stored &at(qsizetype i) const { return cells[size_t((head + i) % MaxPoints)]; }
        void push(const Stored &s);
        void dropOldest(qsizetype n);
        // Every other point of the older three quarters goes; gaps stay.
        void thin();
    };

    std::array<Ring, Channels> m_series;
    std::array<bool, Channels> m_measured{};
    // The ROM code of each channel's last temperature.
    std::array<decltype(TChannelRecord::rom), Channels> m_lastRom{};
    qint64 m_baseMs = -1;
};
