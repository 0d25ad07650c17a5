#include "BackupCommand.h"

#include "ChannelNumbering.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "ConfigurationFile.h"
#include "ConfigurationRestore.h"
#include "Console.h"
#include "ConsolePrompts.h"
#include "EventWait.h"
#include "FileChoice.h"
#include "GatewaySession.h"
#include "RomCode.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>

namespace {
const QList<int> kChannelBlocks = {0, 1, 2, 3};
const QString kExtension = QStringLiteral("bin");

// The system's words for a failed write: the file's own text, or where it has none (a write
// that fell short is not reported with a reason) the last error number's.
QString reasonOf(const QString &fileError, int error)
{
    if (error != 0 && (fileError.isEmpty() || fileError == QLatin1String("Unknown error")))
        return qt_error_string(error);
    return fileError;
}

// A regular file is written whole or not at all.
bool writeFile(const QString &path, const QList<TChannelRecord> &records, QString *error)
{
    errno = 0;
    if (ConfigurationFile::write(path, records, error))
        return true;
    *error = reasonOf(*error, errno);
    return false;
}

// A device takes the bytes as they come, appended where it is a file behind /dev/stdout. Only
// a regular file is opened for appending: on a character device or a pipe that asks for a
// seek, which they cannot do.
bool writeDevice(const QString &path, const QByteArray &bytes, QString *error)
{
    QFile file(path);
    const QIODevice::OpenMode mode = QFileInfo(path).isFile() ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::WriteOnly;
    errno = 0;
    if (file.open(mode) && file.write(bytes) == bytes.size() && file.flush())
        return true;
    *error = reasonOf(file.errorString(), errno);
    return false;
}
} // namespace

int BackupCommand::run(CliContext &ctx)
{
    CommandArgs args(ctx.options.command, ctx.options.arguments);
    const bool restoring = ctx.options.command == QLatin1String("restore");
    const bool verify = restoring && args.flag(QStringLiteral("verify"));
    const bool force = restoring && args.flag(QStringLiteral("force"));
    const bool yes = args.flag(QStringLiteral("yes"));
    const QString path = args.positional(QStringLiteral("FILE.bin"));
    args.finish();
    ctx.prompts.setAssumeYes(yes);
    return restoring ? restore(ctx, path, verify, force, yes) : backup(ctx, path);
}

int BackupCommand::backup(CliContext &ctx, const QString &given)
{
    const bool toStdout = given == QLatin1String("-");
    // A name that already names something (a file, /dev/stdout, a pipe) is taken as it is; a
    // new name without an extension gets ".bin", as in the window.
    const QString path = toStdout ? given : FileChoice::withExtension(given, kExtension);
    const bool regular = !toStdout && !FileChoice::isDeviceOrPipe(path);
    if (regular)
        ctx.prompts.requireRewrite(path);

    GatewaySession session(ctx.options.link, ctx.wait);
    session.open();
    session.readBlocksOrStop(kChannelBlocks, 0, QStringLiteral("Interrupted; nothing was written."));
    if (toStdout) {
        ctx.console.outBytes(ConfigurationFile::encode(session.channelRecords()));
        ctx.console.err(QStringLiteral("The configuration of %1 channels went to standard output.").arg(ConfigurationFile::RecordCount));
        return int(ExitCode::Done);
    }
    QString error;
    const bool written = regular ? writeFile(path, session.channelRecords(), &error)
                                 : writeDevice(path, ConfigurationFile::encode(session.channelRecords()), &error);
    if (!written)
        throw CliFailure::failure(QStringLiteral("Cannot write %1: %2").arg(path, error));
    const QString done = QStringLiteral("The configuration of %1 channels is in %2.").arg(ConfigurationFile::RecordCount).arg(path);
    // Written to a device (/dev/stdout, say) the message would end up inside the backup.
    if (regular)
        ctx.console.out(done);
    else
        ctx.console.err(done);
    return int(ExitCode::Done);
}

int BackupCommand::restore(CliContext &ctx, const QString &given, bool verify, bool force, bool yes)
{
    // A name given without its extension means the file with it, as in the window.
    const QString path = FileChoice::withExtension(given, kExtension);
    QList<TChannelRecord> records;
    switch (ConfigurationFile::read(path, records)) {
    case ConfigurationFile::ReadResult::Ok:
        break;
    case ConfigurationFile::ReadResult::Missing:
        throw CliFailure::usage(QStringLiteral("File does not exist. (%1)").arg(given));
    case ConfigurationFile::ReadResult::Invalid:
        throw CliFailure::usage(QStringLiteral("Error reading file. (%1 is no configuration file of 40 channels)").arg(path));
    }
    // Nothing is written from a file that is damaged or says nothing.
    if (const QString refusal = ConfigurationRestore::refusal(records); !refusal.isEmpty())
        throw CliFailure::usage(refusal);
    if (ConfigurationRestore::channelsNamed(records) == 0)
        throw CliFailure::usage(QStringLiteral("%1 holds no channel that was ever read: there is nothing to restore.").arg(path));
    if (const QList<int> bad = ConfigurationRestore::badRomCodes(records); !bad.isEmpty()) {
        const QString text = QStringLiteral("The ROM codes of %1 in %2 fail their 1-Wire CRC check: the file may be damaged.")
                                 .arg(ConfigurationRestore::channelList(bad), path);
        if (!force)
            throw CliFailure::usage(text + QStringLiteral(" Restore with --force to write them all the same."));
        ctx.console.err(text + QStringLiteral(" Written all the same (--force)."));
    }

    GatewaySession session(ctx.options.link, ctx.wait);
    session.open();
    // Someone at a terminal sees what the gateway's channels would lose and says Yes first; a
    // script (no terminal, or --yes) has said what it wants on its command line.
    const bool ask = !yes && Console::stdinIsTerminal();
    session.readBlocksOrStop(ask ? QList<int>{0, 1, 2, 3, ServiceBlockIndex} : QList<int>{ServiceBlockIndex}, 0,
                             QStringLiteral("Interrupted; nothing was written."));
    if (ask) {
        ctx.console.err(ConfigurationRestore::changes(records, session.channelRecords()));
        if (!ctx.prompts.confirm(QStringLiteral("Write %1 into the gateway?").arg(path), Prompts::Question::OkCancel))
            throw CliFailure::usage(QStringLiteral("Nothing was written."));
    }

    TTarvikKomunikator &gw = session.gateway();
    std::optional<TTarvikKomunikator::ImportResult> result;
    // The import rests the poll cycle and looks at every write's answer itself: silence, a
    // refusal or the port going away end it with its own account of the channels.
    session.setSilenceEndsSession(false);
    session.setExceptionsEndSession(false);
    session.setPortLossEndsSession(false);
    gw.ImportRomCodes(
        records,
        [&](int done, int) {
            ctx.console.progress(QStringLiteral("Rewriting channel configuration... (Channel %1)").arg(ChannelNumbering::displayNumber(done)));
        },
        [&](const TTarvikKomunikator::ImportResult &r) {
            result = r;
            ctx.wait.check();
        });
    if (ctx.wait.until([&] { return result.has_value(); }) == EventWait::Result::Interrupted) {
        gw.StopImport();
        ctx.wait.until([&] { return result.has_value(); }, false);
    }
    ctx.console.endProgress();
    if (!result->completed())
        throw CliFailure::failure(ConfigurationRestore::outcome(*result));
    session.setSilenceEndsSession(true);
    session.setExceptionsEndSession(true);
    session.setPortLossEndsSession(true);

    // The cycle starts again at block 0; what it reads now shows what the gateway took.
    const int since = session.readSerial();
    session.readBlocksOrStop(verify ? kChannelBlocks : QList<int>{0}, since, QStringLiteral("Interrupted; the configuration was written."));
    ctx.console.out(ConfigurationRestore::outcome(*result));
    if (!verify)
        return int(ExitCode::Done);
    const QStringList wrong = differences(records, session.channelRecords());
    for (const QString &line : wrong)
        ctx.console.out(line);
    if (!wrong.isEmpty())
        throw CliFailure::failure(QStringLiteral("Verify: %1 channels differ from %2.").arg(wrong.size()).arg(path));
    // Every channel the file names was read back after the restore.
    ctx.console.out(QStringLiteral("Verified: the %1 channels the file names hold its ROM codes (%2).")
                        .arg(ConfigurationRestore::channelsNamed(records))
                        .arg(path));
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
