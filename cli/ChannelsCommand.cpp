#include "ChannelsCommand.h"

#include "ChannelReport.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "Console.h"
#include "BusSession.h"
#include "GatewaySession.h"
#include "ValueParser.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <climits>
#include <vector>

namespace {
// The channel blocks and the service block; the found-device lists are not needed here.
const QList<int> kBlocks = {0, 1, 2, 3, ServiceBlockIndex};
} // namespace

int ChannelsCommand::run(CliContext &ctx)
{
    const bool watch = ctx.options.command == QLatin1String("watch");
    CommandArgs args(ctx.options.command, ctx.options.arguments);
    const bool json = args.flag(QStringLiteral("json"));
    int rounds = 1;
    if (watch) {
        const auto count = args.value(QStringLiteral("count"));
        rounds = count ? ValueParser::wholeNumber(*count, 1, INT_MAX, QStringLiteral("--count takes a whole number from 1")) : 0;
    }
    // "-" names standard output, where the report goes anyway.
    args.word(QStringLiteral("-"));
    args.finish();
    if (ctx.options.link.addresses.size() > 1)
        return onBus(ctx, watch, json, rounds);

    GatewaySession session(ctx.options.link, ctx.wait);
    session.open();
    int since = 0;
    for (int shown = 0; rounds == 0 || shown < rounds; ++shown) {
        if (!session.readBlocks(kBlocks, since)) {
            if (watch)
                return int(ExitCode::Done); // Ctrl+C is how watching ends
            throw CliFailure::failure(QStringLiteral("Interrupted."));
        }
        // The next round takes blocks read after this one's, the read already out included.
        since = session.answeredSerial();
        const ChannelReport report(session.channelRecords(), session.block(ServiceBlockIndex));
        if (!watch) {
            ctx.console.out(json ? QString::fromUtf8(QJsonDocument(report.json()).toJson(QJsonDocument::Indented)).trimmed()
                                 : report.table());
        } else if (json) {
            QJsonObject round = report.json();
            round.insert(QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
            ctx.console.out(QString::fromUtf8(QJsonDocument(round).toJson(QJsonDocument::Compact)));
        } else {
            ctx.console.out(QDateTime::currentDateTime().toString(Qt::ISODate) + QLatin1Char('\n') + report.table() + QLatin1Char('\n'));
        }
    }
    return int(ExitCode::Done);
}

int ChannelsCommand::onBus(CliContext &ctx, bool watch, bool json, int rounds)
{
    BusSession bus(ctx.options.link, ctx.wait);
    bus.open();
    std::vector<int> since(size_t(bus.size()), 0);
    for (int shown = 0; rounds == 0 || shown < rounds; ++shown) {
        // Every gateway is read all the time; the round waits for each in turn.
        QList<ChannelReport> reports;
        for (int g = 0; g < bus.size(); ++g) {
            GatewaySession &session = bus.session(g);
            if (!session.readBlocks(kBlocks, since[size_t(g)])) {
                if (watch)
                    return int(ExitCode::Done);
                throw CliFailure::failure(QStringLiteral("Interrupted."));
            }
            since[size_t(g)] = session.answeredSerial();
            reports.append(ChannelReport(session.channelRecords(), session.block(ServiceBlockIndex)));
        }
        const QString time = QDateTime::currentDateTime().toString(watch && json ? Qt::ISODateWithMs : Qt::ISODate);
        QJsonArray all;
        QStringList tables;
        for (int g = 0; g < bus.size(); ++g) {
            const int address = bus.session(g).link().address;
            QJsonObject report = reports[g].json();
            report.insert(QStringLiteral("address"), address);
            if (watch && json) {
                report.insert(QStringLiteral("time"), time);
                ctx.console.out(QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Compact)));
            }
            all.append(report);
            tables.append(QStringLiteral("Gateway at address %1\n").arg(address) + reports[g].table());
        }
        if (watch && json)
            continue;
        if (json)
            ctx.console.out(QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented)).trimmed());
        else
            ctx.console.out((watch ? time + QLatin1Char('\n') : QString()) + tables.join(QLatin1Char('\n'))
                            + (watch ? QStringLiteral("\n") : QString()));
    }
    return int(ExitCode::Done);
}
