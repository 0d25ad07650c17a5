#include "ChannelsCommand.h"

#include "ChannelReport.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "Console.h"
#include "GatewaySession.h"
#include "ValueParser.h"

#include <QDateTime>
#include <QJsonDocument>
#include <climits>

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
