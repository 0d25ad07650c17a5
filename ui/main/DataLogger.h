#pragma once

#include "RecorderRows.h"
#include "RecorderSettings.h"
#include "TChannelRecord.h"
#include "TDescriptionRecord.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

class TCSVFileRecorder;

// The Recorder menu's work: a log file started with its header, one row of every channel's
// temperature per period, and the state shown in the status bar. A row holds each channel's
// latest reading while it is current (LogFreshness: read since the row before or within the
// last whole poll cycle), so a period shorter than the cycle gives a row every period with the
// values repeated until the next read. A channel unread for longer gives an empty cell, and a
// period with nothing current at all (the gateway silent or its answers spoiled) gives no row
// and counts as skipped. While the user has disconnected or a restore rewrites the gateway,
// logging rests. A log that cannot be written is said once and stops, keeping its rows.
class DataLogger : public QObject
{
    Q_OBJECT
public:
    struct Sources
    {
        std::function<QList<TChannelRecord>()> records;          // the 40 channels' last records
        std::function<QList<TDescriptionRecord>()> channels;     // shown numbers, ROM codes, descriptions
        std::function<bool()> sampling;                          // connected, no restore running
        std::function<bool()> answering;                         // connected and not in timeout
        std::function<void(const QString &text)> showState;      // the status bar's recorder panel
        std::function<void()> stopped;                           // logging ended by a failure
        QString fallbackFolder;                                  // of "LogFile.csv"; "" = the program's
        std::function<int()> pollInterval;                       // ms between two reads; unset: 500
        std::function<qint64()> nowMs;                           // a steady clock; unset: the system's
    };

    explicit DataLogger(Sources sources, QObject *parent = nullptr);
    ~DataLogger() override;

    // Asks for the file and starts logging every periodSeconds, rows in the form given (by
    // default the one Recorder Options stored); false when nothing started.
    bool Start(int periodSeconds, RecorderRows::Form form = RecorderSettings::form());
    // Starts logging into path (the file chosen, already confirmed).
    bool StartInto(const QString &path, int periodSeconds, RecorderRows::Form form = RecorderSettings::form());
    void Stop();
    bool running() const { return m_recorder != nullptr; }
    QString fileName() const;
    int rowsTaken() const { return m_count; }
    int rowsSkipped() const { return m_skipped; }

    // Channels first .. first + count - 1 were just read from the gateway.
    void ChannelsRead(int first, int count);
    // One period: a row of what was read since the last one.
    void Timer_recorderTimer();
    QTimer Timer_recorder;

private:
    void fail(const QString &message);

    Sources m_sources;
    std::unique_ptr<TCSVFileRecorder> m_recorder;
    RecorderRows::Form m_form = RecorderRows::Form::Classic;
    int m_count = 0;
    int m_skipped = 0;
    qint64 now() const;

    std::array<bool, 40> m_fresh{};   // read since the last row
    std::array<qint64, 40> m_readAt{}; // when last read (now()); -1 never
    QElapsedTimer m_clock;             // now() unless the sources give a clock
    int m_ticksPerSample = 1;
    int m_tick = 0;
};
