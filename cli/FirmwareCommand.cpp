#include "FirmwareCommand.h"

#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "Console.h"
#include "ConsolePrompts.h"
#include "EventWait.h"
#include "FirmwareFileCheck.h"
#include "LinkMessages.h"
#include "ValueParser.h"

#include <QFileInfo>

namespace {
constexpr int kBarWidth = 30;
// A confirmed answer may take this long at the least before the update gives up.
constexpr int kMinTimeoutMs = 10000;

void checkImage(FirmwareImage &image, const QString &path)
{
    // One of the tool's own files or text is never taken for a program.
    if (const QString refusal = FirmwareFileCheck::refusal(path); !refusal.isEmpty())
        throw CliFailure::usage(refusal);
    switch (image.load(path)) {
    case FirmwareImage::LoadResult::Ok:
        return;
    case FirmwareImage::LoadResult::Missing:
        throw CliFailure::usage(QStringLiteral("File does not exist. (%1)").arg(path));
    case FirmwareImage::LoadResult::Empty:
        throw CliFailure::usage(QStringLiteral("%1 is empty.").arg(path));
    case FirmwareImage::LoadResult::TooLarge:
        throw CliFailure::usage(QStringLiteral("%1 is too large for a firmware image: the limit is %2 bytes.").arg(path).arg(FirmwareImage::Capacity));
    case FirmwareImage::LoadResult::ReadError:
        break;
    }
    throw CliFailure::usage(QStringLiteral("File access error. (%1)").arg(path));
}
} // namespace

FirmwareCommand::FirmwareCommand(CliContext &ctx, const QString &path, int paceMs)
    : m_ctx(ctx), m_path(path), m_paceMs(paceMs), m_link(ctx.options.link), m_update(m_link.port())
{
    m_ticker.setSingleShot(true);
    m_ticker.setTimerType(Qt::PreciseTimer);
    connect(&m_ticker, &QTimer::timeout, this, &FirmwareCommand::onTick);
}

int FirmwareCommand::run(CliContext &ctx)
{
    CommandArgs args(ctx.options.command, ctx.options.arguments);
    ctx.prompts.setAssumeYes(args.flag(QStringLiteral("yes")));
    // Not for users: test rigs give every frame this many ms instead of the protocol's 300-500.
    const auto pace = args.value(QStringLiteral("pace-ms"));
    const int paceMs = pace ? ValueParser::wholeNumber(*pace, 1, 1000, QStringLiteral("--pace-ms takes 1 to 1000")) : 0;
    const QString path = args.positional(QStringLiteral("FILE.bin"));
    args.finish();

    FirmwareCommand command(ctx, path, paceMs);
    checkImage(command.m_update.Image(), path);
    command.m_link.open();
    command.bind();
    command.m_update.setSlaveAddress(uint8_t(ctx.options.link.address));
    command.m_update.setFirstInterval(ctx.options.link.baud);
    command.m_update.ResetCounters();
    command.m_sinceConfirmed.start();
    command.scheduleTick(true);

    // The idle reads of the service block show the gateway's version: it answers.
    if (ctx.wait.until([&] { return !command.m_version.isEmpty(); }) == EventWait::Result::Interrupted)
        throw CliFailure::failure(QStringLiteral("Interrupted; nothing was written."));
    ctx.console.out(command.m_version);
    const int frameMs = command.m_paceMs > 0 ? command.m_paceMs : FirmwareUpdate::BusyIntervalMs;
    if (!ctx.prompts.confirm(FirmwareFileCheck::question(path, command.m_update.Image().ImageLength(), frameMs)))
        throw CliFailure::usage(QStringLiteral("Nothing was written."));

    command.m_programming = true;
    command.m_sinceConfirmed.restart();
    command.m_update.StartProgramming(path);
    if (ctx.wait.until([&] { return command.m_done; }) == EventWait::Result::Interrupted) {
        // The next tick takes the answer to the frame in flight and sends nothing more.
        command.m_stopRequested = true;
        ctx.wait.until([&] { return command.m_stopped || command.m_done; }, false);
        if (!command.m_done)
            throw command.stopped(QStringLiteral("Firmware update stopped"));
    }
    ctx.console.endProgress();
    ctx.console.out(QStringLiteral("Memory programming done. (%1, %2 frames, %3 retries)")
                        .arg(command.m_update.ElapsedText())
                        .arg(command.m_update.TxCount())
                        .arg(command.m_retries));
    ctx.console.out(QStringLiteral("Restart the device to complete the firmware update.\n"
                                   "(The PGM switch must be in the ON position during restart.)"));
    // Let go of the port, so the gateway can be restarted with its programming switch on.
    command.m_link.close();
    return int(ExitCode::Done);
}

void FirmwareCommand::bind()
{
    m_update.OnVersion = [this](const QString &text) {
        if (!text.isEmpty())
            m_version = text;
    };
    m_update.OnStatus = [this](const QString &, FirmwareUpdate::Colour colour) {
        if (colour == FirmwareUpdate::Colour::Green)
            m_sinceConfirmed.restart();
        else if (m_programming && colour == FirmwareUpdate::Colour::Red)
            ++m_retries; // a lost or refused answer: the frame goes again
    };
    m_update.OnProgress = [this](int position, int maximum) {
        m_position = position;
        m_maximum = qMax(maximum, 1);
    };
    m_update.OnPortClosed = [this] { m_ctx.wait.fail(stopped(QStringLiteral("The port %1 closed").arg(m_ctx.options.link.port))); };
    m_update.OnPortInactive = [this] { m_ctx.wait.fail(stopped(QString::fromLatin1(kPortInactiveMessage))); };
    m_update.OnDone = [this] {
        m_done = true;
        m_ctx.wait.check();
    };
    m_update.OnGaveUp = [this](const QString &why) {
        m_stopped = true;
        m_ctx.wait.fail(stopped(why));
    };
}

int FirmwareCommand::timeoutMs()
{
    return m_ctx.options.link.timeoutMs.value_or(qMax(kMinTimeoutMs, 3 * m_update.Timer().interval() + 1000));
}

void FirmwareCommand::onTick()
{
    if (m_done || m_stopped)
        return;
    if (m_stopRequested) {
        // Nothing more goes out; the answer to the last frame is taken once it is in or its
        // time is over, so the account holds what the gateway confirmed.
        if (const int wait = m_update.Settle(); wait > 0) {
            m_ticker.start(wait);
            return;
        }
        m_stopped = true;
        m_ctx.wait.check();
        return;
    }
    if (m_paceMs > 0) {
        // The update counts one timer interval for each tick: at a rig's pace a tick comes one
        // pace after the last, and the answers' times and the quiet line must stay true.
        m_update.Timer().setInterval(m_paceMs);
    }
    m_update.Tick();
    if (m_done || m_stopped)
        return;
    if (m_sinceConfirmed.elapsed() > timeoutMs()) {
        m_update.Cancel();
        m_stopped = true;
        m_ctx.wait.fail(stopped(QStringLiteral("No answer from the gateway (%1) for %2 ms").arg(m_ctx.options.link.describe()).arg(timeoutMs())));
        return;
    }
    if (m_programming)
        showProgress();
    scheduleTick(false);
    m_ctx.wait.check();
}

void FirmwareCommand::scheduleTick(bool first)
{
    // Ticks keep to a schedule of one per interval, as a periodic timer would; a tick that
    // came late (a busy machine) never brings the next one closer than nine tenths of one,
    // so the gateway always has its time for the frame before.
    const qint64 interval = m_paceMs > 0 ? m_paceMs : m_update.Timer().interval();
    if (first) {
        m_clock.start();
        m_nextTickMs = 0;
    }
    const qint64 now = m_clock.elapsed();
    m_nextTickMs = qMax(m_nextTickMs + interval, now + interval * 9 / 10);
    m_ticker.start(int(m_nextTickMs - now));
}

void FirmwareCommand::showProgress()
{
    const int filled = kBarWidth * m_position / m_maximum;
    m_ctx.console.progress(QStringLiteral("[%1%2] %3%  frames %4  %5  retries %6")
                               .arg(QString(filled, QLatin1Char('#')), QString(kBarWidth - filled, QLatin1Char('.')))
                               .arg(100 * m_position / m_maximum, 3)
                               .arg(m_update.TxCount())
                               .arg(m_update.ElapsedText())
                               .arg(m_retries));
}

QString FirmwareCommand::stateText() const
{
    // Only what the gateway confirmed counts: a frame whose answer never came may or may not
    // have been carried out.
    const std::optional<uint16_t> erased = m_update.ErasedUpTo();
    if (!m_programming || !erased)
        return QStringLiteral("nothing was written");
    const int written = m_update.WrittenBytes();
    if (written == 0)
        return QStringLiteral("the gateway's spare program memory is %1; the gateway still runs its old program. Run the "
                              "update again before restarting it with the PGM switch ON")
            .arg(*erased < FirmwareUpdate::LastPage ? QStringLiteral("partly erased (pages %1-%2 of %1-%3)")
                                                          .arg(FirmwareUpdate::FirstPage)
                                                          .arg(*erased)
                                                          .arg(FirmwareUpdate::LastPage)
                                                    : QStringLiteral("erased (pages %1-%2)").arg(FirmwareUpdate::FirstPage).arg(FirmwareUpdate::LastPage));
    return QStringLiteral("%1 of %2 bytes are written: the spare program memory holds an incomplete program, and the "
                          "gateway still runs its old one. Do not restart it with the PGM switch ON; run the update again")
        .arg(written)
        .arg(m_update.Image().ImageLength());
}

CliFailure FirmwareCommand::stopped(const QString &why)
{
    m_ctx.console.endProgress();
    return CliFailure::failure(QStringLiteral("%1: %2.").arg(why, stateText()));
}
