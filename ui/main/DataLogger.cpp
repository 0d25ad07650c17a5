#include "DataLogger.h"

#include "ErrorGuard.h"
#include "FileChoice.h"
#include "LogFreshness.h"
#include "Prompts.h"
#include "RecorderRows.h"
#include "TCSVFileRecorder.h"

#include <QDateTime>
#include <QDir>

DataLogger::DataLogger(Sources sources, QObject *parent) : QObject(parent), m_sources(std::move(sources))
{
    m_clock.start();
    Timer_recorder.setObjectName(QStringLiteral("Timer_recorder"));
    Timer_recorder.setTimerType(Qt::PreciseTimer);
    Timer_recorder.setInterval(10000);
    connect(&Timer_recorder, &QTimer::timeout, this, [this] {
        if (++m_tick % m_ticksPerSample == 0)
            ErrorGuard::run([this] { Timer_recorderTimer(); });
    });
}

DataLogger::~DataLogger() = default;

qint64 DataLogger::now() const
{
    return m_sources.nowMs ? m_sources.nowMs() : m_clock.elapsed();
}

QString DataLogger::fileName() const
{
    return m_recorder ? m_recorder->fileName() : QString();
}

bool DataLogger::Start(int periodSeconds, RecorderRows::Form form)
{
    const QString path = FileChoice::askSaveName(QStringLiteral("Start Logging"),
                                                 QStringLiteral("CSV text files (*.csv *.CSV)"), QStringLiteral("csv"));
    return !path.isEmpty() && StartInto(path, periodSeconds, form);
}

bool DataLogger::StartInto(const QString &path, int periodSeconds, RecorderRows::Form form)
{
    QString error;
    m_form = form;
    // A new log always replaces what the file held.
    m_recorder = TCSVFileRecorder::open(path, false, &error, RecorderRows::localeOf(form), m_sources.fallbackFolder);
    if (!m_recorder) {
        Prompts::current().error(error);
        return false;
    }
    if (m_recorder->usedFallback())
        Prompts::current().information(QStringLiteral("%1 cannot be written. The log goes to %2 instead.")
                                           .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(m_recorder->fileName())));
    const QList<QStringList> header = RecorderRows::header(m_sources.channels());
    bool written = true;
    for (int row = 0; row < header.size() && written; ++row)
        written = row < 3 ? m_recorder->WriteRowPadded(header[row], RecorderRows::CellCount) : m_recorder->WriteRow(header[row]);
    if (!written) {
        fail(QStringLiteral("Writing the log %1 failed: %2").arg(QDir::toNativeSeparators(m_recorder->fileName()),
                                                                  m_recorder->errorString()));
        return false;
    }
    m_count = 0;
    m_skipped = 0;
    // What the boxes hold counts as read for the first row while the gateway answers.
    m_fresh.fill(m_sources.answering());
    m_readAt.fill(m_fresh[0] ? now() : -1);
    // A timer holds at most 24.8 days; the longest period (4294967 s, 49.7 days) is taken in
    // two ticks of half the period.
    const qint64 periodMs = qint64(periodSeconds) * 1000;
    m_ticksPerSample = periodMs > std::numeric_limits<int>::max() ? 2 : 1;
    m_tick = 0;
    Timer_recorder.setInterval(int(periodMs / m_ticksPerSample));
    Timer_recorder.start();
    m_sources.showState(m_recorder->usedFallback()
                            ? QStringLiteral("Logging... to %1").arg(QDir::toNativeSeparators(m_recorder->fileName()))
                            : QStringLiteral("Logging..."));
    Timer_recorderTimer(); // the first sample at once
    return running();
}

void DataLogger::ChannelsRead(int first, int count)
{
    for (int c = first; c < first + count; ++c)
        if (c >= 1 && c <= int(m_fresh.size())) {
            m_fresh[size_t(c - 1)] = true;
            m_readAt[size_t(c - 1)] = now();
        }
}

void DataLogger::Timer_recorderTimer()
{
    if (!m_recorder || !m_sources.sampling())
        return; // resting: no row, the counts stay
    const int turn = m_sources.pollInterval ? m_sources.pollInterval() : 500;
    const LogFreshness freshness(PollBlockCount * turn, turn);
    const qint64 at = now();
    QList<bool> fresh;
    for (size_t i = 0; i < m_fresh.size(); ++i)
        fresh.append(freshness.isFresh(m_fresh[i], m_readAt[i] < 0 ? -1 : at - m_readAt[i]));
    if (!fresh.contains(true)) {
        // The row count shown stays as it was; the skipped ones are counted beside it.
        ++m_skipped;
        m_sources.showState(QStringLiteral("Logging... (%1, %2 skipped)").arg(qMax(0, m_count - 1)).arg(m_skipped));
        return;
    }
    m_fresh.fill(false);
    if (!m_recorder->WriteRow(RecorderRows::dataRow(QDateTime::currentDateTime(), m_sources.records(), fresh,
                                                    RecorderRows::localeOf(m_form), m_form))) {
        fail(QStringLiteral("Writing the log %1 failed: %2. Logging stopped; the rows written so far are kept.")
                 .arg(QDir::toNativeSeparators(m_recorder->fileName()), m_recorder->errorString()));
        return;
    }
    m_sources.showState(m_skipped > 0 ? QStringLiteral("Logging... (%1, %2 skipped)").arg(m_count).arg(m_skipped)
                                      : QStringLiteral("Logging... (%1)").arg(m_count));
    ++m_count;
}

void DataLogger::Stop()
{
    Timer_recorder.stop();
    m_recorder.reset();
    m_sources.showState(QStringLiteral("Logging stopped."));
}

void DataLogger::fail(const QString &message)
{
    // Stopped before the message, so a timer tick behind an open message box writes nothing.
    Timer_recorder.stop();
    m_recorder.reset();
    m_sources.showState(QStringLiteral("Logging stopped."));
    if (m_sources.stopped)
        m_sources.stopped();
    Prompts::current().error(message);
}
