#include "LogCommand.h"

#include "ChannelNumbering.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "Console.h"
#include "ConsolePrompts.h"
#include "DescriptionsArgument.h"
#include "EventWait.h"
#include "FileChoice.h"
#include "GatewaySession.h"
#include "LogFreshness.h"
#include "RecorderRows.h"
#include "RecorderSettings.h"
#include "RomCode.h"
#include "TCSVFileRecorder.h"
#include "ValueParser.h"

#include <QDateTime>
#include <QDir>
#include <climits>

namespace {

const QList<int> kBlocks = {0, 1, 2, 3, ServiceBlockIndex};
const QList<int> kChannelBlocks = {0, 1, 2, 3};
// The longest wait a timer is given at once; a longer period is reached in steps.
constexpr qint64 kTimerStepMs = 3600 * 1000;
// The least silence that ends a log when no --timeout is given.
constexpr qint64 kLogSilenceMs = 60 * 1000;

} // namespace

LogCommand::LogCommand(CliContext &ctx, GatewaySession &session, TCSVFileRecorder &recorder, qint64 periodMs, qint64 samples,
                       RecorderRows::Form form)
    : m_ctx(ctx), m_session(session), m_recorder(recorder), m_periodMs(periodMs), m_form(form), m_samples(samples)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LogCommand::onTimer);
}

int LogCommand::run(CliContext &ctx)
{
    CommandArgs args(ctx.options.command, ctx.options.arguments);
    const auto periodText = args.value(QStringLiteral("period"));
    const auto durationText = args.value(QStringLiteral("duration"));
    const auto descriptionsPath = args.value(QStringLiteral("descriptions"));
    ctx.prompts.setAssumeYes(args.flag(QStringLiteral("yes")));
    const RecorderRows::Form form = args.flag(QStringLiteral("plain")) ? RecorderRows::Form::Plain : RecorderRows::Form::Classic;
    const QString given = args.positional(QStringLiteral("FILE.csv"));
    // "-" is standard output: the log goes to a pipe or a script, with no file to rewrite.
    const bool toStdout = given == QLatin1String("-");
    // A new plain name gets ".csv"; a device, a pipe or an existing file is taken as named.
    const QString path = toStdout ? TCSVFileRecorder::stdoutName() : FileChoice::withExtension(given, QStringLiteral("csv"));
    args.finish();
    const QString periodError = QStringLiteral("--period takes whole seconds, %1 to %2").arg(RecorderSettings::MinPeriod).arg(RecorderSettings::MaxPeriod);
    const int period = periodText ? ValueParser::wholeNumber(*periodText, RecorderSettings::MinPeriod, RecorderSettings::MaxPeriod, periodError)
                                  : RecorderSettings::period();
    const qint64 duration = durationText ? ValueParser::wholeNumber(*durationText, 1, INT_MAX, QStringLiteral("--duration takes whole seconds from 1")) : 0;
    QList<TDescriptionRecord> described;
    if (descriptionsPath)
        described = DescriptionsArgument::load(*descriptionsPath, ctx.options.numbering);
    // Only a regular file has content to lose; a device or a pipe takes the rows as they come.
    if (!toStdout && !FileChoice::isDeviceOrPipe(path))
        ctx.prompts.requireRewrite(path);

    GatewaySession session(ctx.options.link, ctx.wait);
    // A refused read only means that block comes in a later round.
    session.setExceptionsEndSession(false);
    session.open();
    // The header names the channels' ROM codes: they are read first.
    session.readBlocksOrStop(kBlocks, 0, QStringLiteral("Interrupted; no log was started."));
    QString error;
    // Into the file named or not at all: a script looks for its log where it said.
    const QLocale locale = RecorderRows::localeOf(form);
    const std::unique_ptr<TCSVFileRecorder> recorder = toStdout ? TCSVFileRecorder::toStdout(&error, locale)
                                                                : TCSVFileRecorder::create(path, &error, locale);
    if (!recorder)
        throw CliFailure::failure(error);

    QList<TDescriptionRecord> channels;
    for (const TChannelRecord &r : session.channelRecords()) {
        const int shown = ChannelNumbering::displayNumber(r.channel);
        channels.append({uint8_t(shown), QString::number(shown), RomCode::toText(r.rom),
                         described.isEmpty() ? QString() : described[r.channel - 1].description});
    }
    const QList<QStringList> header = RecorderRows::header(channels);
    for (int row = 0; row < header.size(); ++row) {
        const bool written = row < 3 ? recorder->WriteRowPadded(header[row], RecorderRows::CellCount) : recorder->WriteRow(header[row]);
        if (!written)
            throw CliFailure::failure(QStringLiteral("Writing the log %1 failed: %2").arg(QDir::toNativeSeparators(path), recorder->errorString()));
    }

    // Only the channel blocks from now on, so each comes round as often as the line allows. A
    // refused or lost answer only leaves its channels out of a row; a gateway silent for longer
    // than the log's own timeout (--timeout, else three periods and at least a minute) ends it.
    session.keepReading(kChannelBlocks);
    session.setSilenceTimeoutMs(ctx.options.link.timeoutMs.value_or(int(qMin<qint64>(qMax<qint64>(3LL * period * 1000, kLogSilenceMs), INT_MAX))));
    const qint64 samples = duration > 0 ? (duration + period - 1) / period : 0;
    LogCommand log(ctx, session, *recorder, qint64(period) * 1000, samples, form);
    if (const QString note = LogFreshness::shortPeriodNote(log.m_periodMs, log.cycleMs(), ctx.options.link.baud); !note.isEmpty())
        ctx.console.err(QStringLiteral("--period %1 s is shorter than the poll cycle: %2; rows in between repeat the latest "
                                       "values.")
                            .arg(period)
                            .arg(note));
    log.m_clock.start();
    log.onTimer(); // the first sample at once
    ctx.wait.until([&] { return log.m_finished; });
    ctx.console.endProgress();
    // Beside a log on standard output the summary goes to stderr.
    const auto say = [&](const QString &text) { toStdout ? ctx.console.err(text) : ctx.console.out(text); };
    say(QStringLiteral("%1 rows written to %2%3.")
                        .arg(log.m_rows)
                        .arg(QDir::toNativeSeparators(path),
                             log.m_skipped > 0 ? QStringLiteral(" (%1 skipped: no new answer from the gateway)").arg(log.m_skipped) : QString()));
    return int(ExitCode::Done);
}

void LogCommand::onTimer()
{
    // Samples fall due at whole periods from the start, whatever the timer's slack.
    if (m_clock.elapsed() >= m_taken * m_periodMs) {
        sample();
        ++m_taken;
        if (m_samples > 0 && m_taken >= m_samples) {
            m_finished = true;
            m_ctx.wait.check();
            return;
        }
    }
    schedule();
}

void LogCommand::schedule()
{
    const qint64 due = m_taken * m_periodMs - m_clock.elapsed();
    m_timer.start(int(qBound<qint64>(0, due, kTimerStepMs)));
}

int LogCommand::cycleMs() const
{
    return int(kChannelBlocks.size()) * m_session.turnMs();
}

void LogCommand::sample()
{
    // A channel's latest reading goes into the row while it is current: read since the last
    // row or within the last whole cycle. One unread for longer gives an empty cell, and a row
    // with nothing current is skipped.
    const LogFreshness freshness(cycleMs(), m_session.turnMs());
    // The readings taken before the log began stay current until its own first round has come
    // to them: that round starts afresh, so a block read early in the set-up may be read again
    // only later than a round after it.
    const bool firstRound = m_clock.elapsed() <= freshness.freshForMs();
    QList<bool> fresh;
    for (int c = 1; c <= ChannelMap::ChannelCount; ++c) {
        const int block = ChannelMap::blockIndexOf(c);
        const qint64 age = m_session.blockAgeMs(block);
        fresh.append(freshness.isFresh(m_session.blockGeneration(block) > m_sampledGeneration, age)
                     || (firstRound && age >= 0));
    }
    if (!fresh.contains(true)) {
        ++m_skipped;
        m_ctx.console.err(QStringLiteral("No new answer from the gateway since the last sample: sample skipped (%1 so far).").arg(m_skipped));
        return;
    }
    m_sampledGeneration = m_session.generation();
    if (!m_recorder.WriteRow(RecorderRows::dataRow(QDateTime::currentDateTime(), m_session.channelRecords(), fresh,
                                                   RecorderRows::localeOf(m_form), m_form))) {
        m_ctx.wait.fail(CliFailure::failure(QStringLiteral("Writing the log %1 failed: %2. The rows written so far are kept.")
                                                .arg(QDir::toNativeSeparators(m_recorder.fileName()), m_recorder.errorString())));
        return;
    }
    m_ctx.console.progress(m_skipped > 0 ? QStringLiteral("Logging... (%1, %2 skipped)").arg(m_rows).arg(m_skipped)
                                         : QStringLiteral("Logging... (%1)").arg(m_rows));
    ++m_rows;
}
