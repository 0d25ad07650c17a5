#include "DeviceCommand.h"

#include "ChannelReport.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "Console.h"
#include "GatewaySession.h"
#include "RomCode.h"
#include "ServiceBlockText.h"
#include "ValueParser.h"

namespace {
// The gateway's index travels in the high byte of the command word beside the 0x80 flag.
constexpr int kMaxFoundIndex = 0x7F;

QString hex4(uint16_t word)
{
    return QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper();
}

bool isSearch(const QString &command)
{
    return command.startsWith(QLatin1String("find-"));
}
} // namespace

int DeviceCommand::run(CliContext &ctx)
{
    const QString command = ctx.options.command;
    const int numbering = ctx.options.numbering;
    CommandArgs args(command, ctx.options.arguments);
    int line = 0;
    int channel = 0;
    int index = 0;
    RomCode::Words rom{};
    const bool force = command == QLatin1String("write-rom") && args.flag(QStringLiteral("force"));
    if (isSearch(command)) {
        line = ValueParser::line(args.positional(QStringLiteral("LINE (1 or 2)")));
    } else if (command == QLatin1String("save-found")) {
        index = ValueParser::wholeNumber(args.positional(QStringLiteral("INDEX and CH")), 0, kMaxFoundIndex,
                                         QStringLiteral("INDEX is the device's index in the found list, 0 to %1").arg(kMaxFoundIndex));
        channel = ValueParser::channel(args.positional(QStringLiteral("CH")), numbering);
    } else {
        channel = ValueParser::channel(args.positional(QStringLiteral("CH")), numbering);
        if (command == QLatin1String("write-rom"))
            rom = ValueParser::romCode(args.positional(QStringLiteral("CODE (16 hex digits)")));
    }
    args.finish();
    // A code no device can have is a typing error until the user says otherwise, as restore
    // treats one in a file.
    if (command == QLatin1String("write-rom") && RomCode::failsCrc(rom)) {
        const QString text = QStringLiteral("The ROM code %1 fails its 1-Wire CRC check: a typing error?").arg(RomCode::toText(rom));
        if (!force)
            throw CliFailure::usage(text + QStringLiteral(" Write it with --force to write it all the same."));
        ctx.console.err(text + QStringLiteral(" Written all the same (--force)."));
    }

    GatewaySession session(ctx.options.link, ctx.wait);
    session.open();
    // The gateway must answer before anything is written.
    session.readBlocksOrStop({ServiceBlockIndex}, 0, QStringLiteral("Interrupted; nothing was sent."));
    DeviceCommand device(ctx, session);
    TTarvikKomunikator &gw = session.gateway();
    if (command == QLatin1String("find-new"))
        return device.search(line, Command::FindNew, false);
    if (command == QLatin1String("find-new-all"))
        return device.search(line, Command::FindNewAll, true);
    if (command == QLatin1String("find-all"))
        return device.search(line, Command::FindAll, true);
    if (command == QLatin1String("write-rom"))
        return device.writeRom(channel, rom);
    const int cc = channel - 1;
    if (command == QLatin1String("save-new"))
        return device.channelCommand(channel, uint16_t(Command::SaveNewBase + cc), session.queued([&] { gw.SaveNewDevice(channel); }));
    if (command == QLatin1String("delete"))
        return device.channelCommand(channel, uint16_t(Command::DeleteBase + cc), session.queued([&] { gw.DeletePosition(channel); }));
    return device.channelCommand(channel, Command::saveFound(index, cc), session.queued([&] { gw.SaveFoundDevice(index, cc); }));
}

int DeviceCommand::report(const Block &service, int line, uint16_t word)
{
    m_ctx.console.out(ServiceBlockText::command(service, line));
    m_ctx.console.out(ServiceBlockText::operationStatus(service, line));
    const uint16_t received = service[size_t(ServiceRegs::offset(ServiceRegs::CommandRegister[line]))];
    if (received != word) {
        m_ctx.console.err(QStringLiteral("The gateway did not take command 0x%1: its command register shows 0x%2.")
                              .arg(hex4(word), hex4(received)));
        return int(ExitCode::Failure);
    }
    const uint16_t status = service[size_t(ServiceRegs::offset(ServiceRegs::OperationStatus[line]))];
    return status == OperationStatus::Ok ? int(ExitCode::Done) : int(ExitCode::Failure);
}

int DeviceCommand::search(int line, uint16_t word, bool listsDevices)
{
    TTarvikKomunikator &gw = m_session.gateway();
    const int since = m_session.queued([&] {
        if (word == Command::FindNew)
            gw.FindNew(line);
        else if (word == Command::FindNewAll)
            gw.FindNewAll(line);
        else
            gw.FindAll(line);
    });
    QList<int> blocks = {ServiceBlockIndex};
    if (listsDevices)
        blocks.append(FoundListBlockIndex[line]);
    m_session.readBlocksOrStop(blocks, since, QStringLiteral("Interrupted; the command was sent."));
    const Block &service = m_session.block(ServiceBlockIndex);
    m_ctx.console.out(QStringLiteral("LINE %1").arg(line + 1));
    const int code = report(service, line, word);
    if (!listsDevices) {
        m_ctx.console.out(ServiceBlockText::newRomCode(service, line));
        return code;
    }
    QStringList rows;
    for (const TChannelRecord &r : ServiceBlockText::foundRecords(FoundList::Start[line], m_session.block(FoundListBlockIndex[line])))
        if (!RomCode::isEmpty(r.rom))
            rows.append(QString::number(r.values[0]).leftJustified(7) + RomCode::toText(r.rom).leftJustified(18)
                        + ChannelReport::familyName(RomCode::familyOf(r.rom)));
    if (rows.isEmpty()) {
        m_ctx.console.out(QStringLiteral("Found devices: none"));
    } else {
        m_ctx.console.out(QStringLiteral("Index  ROM code          Family"));
        for (const QString &row : rows)
            m_ctx.console.out(row);
    }
    return code;
}

int DeviceCommand::channelCommand(int channel, uint16_t word, int since)
{
    const int line = ChannelMap::lineOf(channel);
    m_session.readBlocksOrStop({ChannelMap::blockIndexOf(channel), ServiceBlockIndex}, since, QStringLiteral("Interrupted; the command was sent."));
    const int code = report(m_session.block(ServiceBlockIndex), line, word);
    printChannel(channel);
    return code;
}

int DeviceCommand::writeRom(int channel, const std::array<uint16_t, 4> &rom)
{
    TTarvikKomunikator &gw = m_session.gateway();
    const int since = m_session.atOnce([&] { gw.WriteRomCode(rom, channel); });
    m_session.readBlocksOrStop({ChannelMap::blockIndexOf(channel)}, since, QStringLiteral("Interrupted; the ROM code was sent."));
    printChannel(channel);
    const TChannelRecord now = m_session.channelRecords()[channel - 1];
    if (now.rom != rom) {
        m_ctx.console.err(QStringLiteral("The gateway holds %1 in the channel, not %2.").arg(RomCode::toText(now.rom), RomCode::toText(rom)));
        return int(ExitCode::Failure);
    }
    return int(ExitCode::Done);
}

void DeviceCommand::printChannel(int channel)
{
    m_ctx.console.out(ChannelReport::tableHeader());
    m_ctx.console.out(ChannelReport::tableRow(m_session.channelRecords()[channel - 1]));
}
