// tarvik-cli: the gateway from a terminal, for scripted commissioning, monitoring and logging.
// It runs the window's own link, decoding, file and firmware code without any window.
#include "BackupCommand.h"
#include "ChannelNumbering.h"
#include "ChannelsCommand.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "Console.h"
#include "ConsolePrompts.h"
#include "DeviceCommand.h"
#include "ErrorGuard.h"
#include "EventWait.h"
#include "FirmwareCommand.h"
#include "InterruptSignal.h"
#include "LogCommand.h"
#include "RegisterCommand.h"
#include "ScanCommand.h"
#include "SettingsCommand.h"
#ifdef TARVIK_HAVE_BRIDGE
#include "ServeCommand.h"
#endif

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMap>
#include <functional>

namespace {

using Runner = std::function<int(CliContext &)>;

const QMap<QString, Runner> &commands()
{
    static const QMap<QString, Runner> table = {
        {QStringLiteral("channels"), ChannelsCommand::run},
        {QStringLiteral("watch"), ChannelsCommand::run},
        {QStringLiteral("log"), LogCommand::run},
        {QStringLiteral("backup"), BackupCommand::run},
        {QStringLiteral("restore"), BackupCommand::run},
        {QStringLiteral("find-new"), DeviceCommand::run},
        {QStringLiteral("find-new-all"), DeviceCommand::run},
        {QStringLiteral("find-all"), DeviceCommand::run},
        {QStringLiteral("save-new"), DeviceCommand::run},
        {QStringLiteral("save-found"), DeviceCommand::run},
        {QStringLiteral("delete"), DeviceCommand::run},
        {QStringLiteral("write-rom"), DeviceCommand::run},
        {QStringLiteral("settings"), SettingsCommand::run},
        {QStringLiteral("firmware"), FirmwareCommand::run},
        {QStringLiteral("scan"), ScanCommand::run},
        {QStringLiteral("read"), RegisterCommand::run},
        {QStringLiteral("write"), RegisterCommand::run},
#ifdef TARVIK_HAVE_BRIDGE
        {QStringLiteral("serve"), ServeCommand::run},
#endif
    };
    return table;
}

// A port error text without the component's name the window's handler uses.
QString withoutComponent(QString text)
{
    const QString suffix = QStringLiteral(" - AfComPort1 ");
    if (text.endsWith(suffix))
        text.chop(suffix.size());
    return text.trimmed();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvik-cli"));
    // The link's warnings are the window's log; here every failure ends in one line of its own
    // that carries the same reason. QT_LOGGING_RULES, when set, still decides.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("tarvik.link.warning=false"));
    Console console;
    try {
        const CliOptions options = CliOptions::parse(QCoreApplication::arguments());
        if (options.help) {
            // "COMMAND --help" is that command's own usage.
            const QString own = CliOptions::commandUsage(options.command);
            console.out(own.isEmpty() ? CliOptions::usage() : own);
            console.checkOut();
            return int(ExitCode::Done);
        }
        const auto command = commands().constFind(options.command);
        if (command == commands().constEnd())
            throw CliFailure::usage(QStringLiteral("unknown command \"%1\" (see tarvik-cli --help)").arg(options.command));
        ChannelNumbering::setFlag(options.numbering);

        InterruptSignal interrupt;
        EventWait wait(interrupt);
        ConsolePrompts prompts(console);
        Prompts::install(&prompts);
        // A failure inside the event loop (a port error in a timer tick) ends the command.
        ErrorGuard::setHandler([&wait](const QString &message) { wait.fail(CliFailure::failure(withoutComponent(message))); });
        CliContext ctx{options, console, prompts, wait};
        const int code = (*command)(ctx);
        ErrorGuard::setHandler(nullptr);
        Prompts::install(nullptr);
        // Whatever the command said, output that never arrived makes it a failure.
        console.checkOut();
        return code;
    } catch (const CliFailure &failure) {
        ErrorGuard::setHandler(nullptr);
        Prompts::install(nullptr);
        console.err(QStringLiteral("tarvik-cli: ") + failure.message);
        return int(failure.code);
    }
}
