#pragma once

#include "TChannelRecord.h"
#include "TDescriptionRecord.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

class TCSVFileRecorder;

// The Recorder menu's work: a log file started with its header, one row of every channel's
// temperature per period, and the state shown in the status bar. A row holds only what was
// read since the row before: a channel not read again gives an empty cell, and a period with
// nothing read at all (the gateway silent or its answers spoiled) gives no row and counts as
// skipped. While the user has disconnected or a restore rewrites the gateway, logging rests.
// A log that cannot be written is said once and stops, keeping its rows.
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
    };

    explicit DataLogger(Sources sources, QObject *parent = nullptr);
    ~DataLogger() override;

    // Asks for the file and starts logging every periodSeconds; false when nothing started.
    bool Start(int periodSeconds);
    // Starts logging into path (the file chosen, already confirmed).
    bool StartInto(const QString &path, int periodSeconds);
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
    int m_count = 0;
    int m_skipped = 0;
    std::array<bool, 40> m_fresh{}; // read since the last row
    int m_ticksPerSample = 1;
    int m_tick = 0;
};
