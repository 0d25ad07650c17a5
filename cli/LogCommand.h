#pragma once

#include "RecorderRows.h"
#include "TDescriptionRecord.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>
#include <memory>

class GatewaySession;
class TCSVFileRecorder;
struct CliContext;

// log FILE.csv [--period S] [--duration S] [--descriptions FILE.txt] [--plain] [--yes]: the window's
// recorder. The header rows and the data rows are the window's, from the same row builders,
// and a row holds each channel's latest reading while it is current (LogFreshness: read since
// the row before or within the last whole poll cycle; a sample with nothing current is
// skipped and counted); a period shorter than the cycle is said at the start, and its rows
// repeat values between two reads. A gateway silent past the log's timeout ends the log. The
// period defaults to the one stored by the window's recorder options. Without --duration it
// logs until Ctrl+C; every row is on disk as soon as it is written. --plain writes the rows
// in the spreadsheets' form (RecorderRows::Form::Plain); without it they keep the classic form,
// whatever the window chose, since scripts and their readers rely on it.
class LogCommand : public QObject
{
    Q_OBJECT
public:
    static int run(CliContext &ctx);

private:
    LogCommand(CliContext &ctx, GatewaySession &session, TCSVFileRecorder &recorder, qint64 periodMs, qint64 samples,
               RecorderRows::Form form);

    // Takes the sample that is due and schedules the next one.
    void onTimer();
    void sample();
    void schedule();
    // One round of the channel blocks the log keeps reading.
    int cycleMs() const;

    CliContext &m_ctx;
    GatewaySession &m_session;
    TCSVFileRecorder &m_recorder;
    qint64 m_periodMs;
    RecorderRows::Form m_form;
    qint64 m_samples; // samples to take, counting skipped ones; 0: until Ctrl+C
    qint64 m_taken = 0;
    int m_rows = 0;
    int m_skipped = 0;
    int m_sampledGeneration = 0; // the session's block generation at the last row
    bool m_finished = false;
    QElapsedTimer m_clock;
    QTimer m_timer;
};
