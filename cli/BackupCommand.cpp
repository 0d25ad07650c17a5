#include "BackupCommand.h"

#include "ChannelNumbering.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "ConfigurationFile.h"
#include "Console.h"
#include "ConsolePrompts.h"
#include "EventWait.h"
#include "FileChoice.h"
#include "GatewaySession.h"
#include "RomCode.h"

#include <QFileInfo>

namespace {
const QList<int> kChannelBlocks = {0, 1, 2, 3};
const QString kExtension = QStringLiteral("bin");
} // namespace

int BackupCommand::run(CliContext &ctx)
{
    CommandArgs args(ctx.options.command, ctx.options.arguments);
    const bool restoring = ctx.options.command == QLatin1String("restore");
    const bool verify = restoring && args.flag(QStringLiteral("verify"));
    const bool yes = !restoring && args.flag(QStringLiteral("yes"));
    const QString path = args.positional(QStringLiteral("FILE.bin"));
    args.finish();
    ctx.prompts.setAssumeYes(yes);
    return restoring ? restore(ctx, path, verify) : backup(ctx, path);
}

int BackupCommand::backup(CliContext &ctx, const QString &given)
{
    const QString path = FileChoice::withExtension(given, kExtension);
    ctx.prompts.requireRewrite(path);

    GatewaySession session(ctx.options.link, ctx.wait);
    session.open();
    session.readBlocksOrStop(kChannelBlocks, 0, QStringLiteral("Interrupted; nothing was written."));
    QString error;
    if (!ConfigurationFile::write(path, session.channelRecords(), &error))
        throw CliFailure::failure(QStringLiteral("Cannot write %1: %2").arg(path, error));
    ctx.console.out(QStringLiteral("The configuration of %1 channels is in %2.").arg(ConfigurationFile::RecordCount).arg(path));
    return int(ExitCode::Done);
}

int BackupCommand::restore(CliContext &ctx, const QString &given, bool verify)
{
    // A name given without its extension means the file with it, as in the window.
    const QString path = QFileInfo::exists(given) ? given : FileChoice::withExtension(given, kExtension);
    QList<TChannelRecord> records;
    switch (ConfigurationFile::read(path, records)) {
    case ConfigurationFile::ReadResult::Ok:
        break;
    case ConfigurationFile::ReadResult::Missing:
        throw CliFailure::usage(QStringLiteral("File does not exist. (%1)").arg(given));
    case ConfigurationFile::ReadResult::Invalid:
        throw CliFailure::usage(QStringLiteral("Error reading file. (%1 is no configuration file of 40 channels)").arg(path));
    }

    GatewaySession session(ctx.options.link, ctx.wait);
    session.open();
    session.readBlocksOrStop({ServiceBlockIndex}, 0, QStringLiteral("Interrupted; nothing was written."));

    TTarvikKomunikator &gw = session.gateway();
    std::optional<bool> completed;
    // The import rests the poll cycle and expects no answers: silence is no failure meanwhile.
    session.setSilenceEndsSession(false);
    gw.ImportRomCodes(
        records,
        [&](int done, int) {
            ctx.console.progress(QStringLiteral("Rewriting channel configuration... (Channel %1)").arg(ChannelNumbering::displayNumber(done)));
        },
        [&](bool whole) {
            completed = whole;
            ctx.wait.check();
        });
    if (ctx.wait.until([&] { return completed.has_value(); }) == EventWait::Result::Interrupted) {
        gw.StopImport();
        ctx.wait.until([&] { return completed.has_value(); }, false);
    }
    ctx.console.endProgress();
    if (!*completed) {
        const int done = gw.ImportDone();
        const QString state = QStringLiteral("%1 of %2 channels hold the file's ROM codes; the others keep what they held")
                                  .arg(done)
                                  .arg(records.size());
        if (ctx.wait.interrupted())
            throw CliFailure::failure(QStringLiteral("Restore stopped: %1.").arg(state));
        throw CliFailure::failure(QStringLiteral("Restore broken off, the port is gone: %1.").arg(state));
    }
    session.setSilenceEndsSession(true);

    // The cycle starts again at block 0; what it reads now shows what the gateway took.
    const int since = session.readSerial();
    session.readBlocksOrStop(verify ? kChannelBlocks : QList<int>{0}, since, QStringLiteral("Interrupted; the configuration was written."));
    ctx.console.out(QStringLiteral("Serial numbers have been rewritten."));
    if (!verify)
        return int(ExitCode::Done);
    const QStringList wrong = differences(records, session.channelRecords());
    for (const QString &line : wrong)
        ctx.console.out(line);
    if (!wrong.isEmpty())
        throw CliFailure::failure(QStringLiteral("Verify: %1 channels differ from %2.").arg(wrong.size()).arg(path));
    ctx.console.out(QStringLiteral("Verified: every channel holds the ROM code of %1.").arg(path));
    return int(ExitCode::Done);
}

QStringList BackupCommand::differences(const QList<TChannelRecord> &file, const QList<TChannelRecord> &gateway)
{
    QStringList lines;
    for (const TChannelRecord &r : file) {
        // A record of a channel never read carries no position and was not written.
        if (!ChannelMap::isChannel(r.channel))
            continue;
        const TChannelRecord &now = gateway[r.channel - 1];
        if (now.rom != r.rom)
            lines.append(QStringLiteral("Channel %1: %2 in the file, %3 in the gateway")
                             .arg(ChannelNumbering::displayNumber(r.channel))
                             .arg(RomCode::toText(r.rom), RomCode::toText(now.rom)));
    }
    return lines;
}
