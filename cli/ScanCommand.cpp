#include "ScanCommand.h"

#include "ChannelText.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "Console.h"
#include "EventWait.h"
#include "GatewayFinder.h"
#include "LinkPort.h"
#include "ModbusException.h"
#include "ValueParser.h"

int ScanCommand::run(CliContext &ctx)
{
    CommandArgs args(ctx.options.command, ctx.options.arguments);
    const auto bauds = args.value(QStringLiteral("bauds"));
    const auto addressText = args.value(QStringLiteral("addresses"));
    args.finish();
    GatewayFinder::Options options;
    options.speeds = bauds ? ValueParser::baudRates(*bauds) : GatewayFinder::commonFirst();
    options.addresses = addressText ? ValueParser::addresses(*addressText) : QList<int>();
    if (options.addresses.isEmpty())
        for (int a = 1; a <= 247; ++a)
            options.addresses.append(a);
    options.timeoutMs = ctx.options.link.timeoutMs;

    LinkPort link(ctx.options.link);
    link.open();
    GatewayFinder finder(link.port(), options);
    QObject::connect(&finder, &GatewayFinder::probing, &finder, [&ctx](qint32 baud, int address, int tried, qsizetype total) {
        ctx.console.progress(QStringLiteral("Trying %1 Bd, address %2 (%3 of at most %4)").arg(baud).arg(address).arg(tried + 1).arg(total));
    });
    QObject::connect(&finder, &GatewayFinder::confirming, &finder, [&ctx](qint32 baud, int address) {
        ctx.console.progress(QStringLiteral("Asking %1 Bd, address %2 again").arg(baud).arg(address));
    });
    QObject::connect(&finder, &GatewayFinder::found, &finder, [&ctx](const GatewayFinder::Find &find) {
        QString what = QStringLiteral("Gateway FW version: %1").arg(ChannelText::FormatVersion(find.version()));
        if (find.refused) {
            const auto refusal = ModbusException::find(find.answer);
            what = QStringLiteral("answered with %1: some other device")
                       .arg(refusal ? refusal->text() : QStringLiteral("a Modbus exception"));
        }
        ctx.console.out(QStringLiteral("%1 Bd, address %2: %3").arg(find.baud).arg(find.address).arg(what));
    });
    QObject::connect(&finder, &GatewayFinder::finished, &ctx.wait, &EventWait::check);
    finder.start();
    if (ctx.wait.until([&finder] { return !finder.running(); }) == EventWait::Result::Interrupted) {
        finder.cancel();
        throw CliFailure::failure(QStringLiteral("Interrupted after %1 speed and address pairs.").arg(finder.tried()));
    }
    switch (finder.outcome()) {
    case GatewayFinder::Outcome::PortFailed:
        throw LinkPort::failureOf(*finder.portError());
    case GatewayFinder::Outcome::PortLost:
        throw CliFailure::failure(LinkPort::goneText(ctx.options.link.port, finder.lostReason()));
    default:
        break;
    }

    ctx.console.endProgress();
    ctx.console.err(QStringLiteral("%1 speed and address pairs tried in %2 s.").arg(finder.tried()).arg(finder.elapsedMs() / 1000.0, 0, 'f', 1));
    QStringList found; // the gateways' addresses
    for (const GatewayFinder::Find &find : finder.finds())
        if (find.isGateway())
            found.append(QString::number(find.address));
    if (found.isEmpty())
        throw CliFailure::failure(QStringLiteral("No gateway answered."));
    if (found.size() > 1)
        ctx.console.err(QStringLiteral("%1 gateways on the line: read them all with --baud %2 --address %3")
                            .arg(found.size())
                            .arg(finder.finds().constLast().baud)
                            .arg(found.join(QLatin1Char(','))));
    return int(ExitCode::Done);
}
