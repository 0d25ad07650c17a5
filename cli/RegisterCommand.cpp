#include "RegisterCommand.h"

#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "Console.h"
#include "ConsolePrompts.h"
#include "GatewaySession.h"
#include "ModbusException.h"
#include "RegisterRole.h"
#include "ValueParser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr int kRegisterSpace = 0x10000;
constexpr int kReadAttempts = 3;
// Roles listed in the question before a write; the rest are counted.
constexpr int kRolesListed = 4;
constexpr uint8_t kRead = 0x03;

RegisterCommand::Format formatOf(const std::optional<QString> &text)
{
    if (!text || *text == QLatin1String("dec"))
        return RegisterCommand::Format::Decimal;
    if (*text == QLatin1String("hex"))
        return RegisterCommand::Format::Hex;
    if (*text == QLatin1String("signed"))
        return RegisterCommand::Format::Signed;
    throw CliFailure::usage(QStringLiteral("--format takes dec, hex or signed"));
}

// "register 5" or "registers 5-8"
QString rangeText(uint16_t first, int count)
{
    return count == 1 ? QStringLiteral("register %1").arg(first) : QStringLiteral("registers %1-%2").arg(first).arg(first + count - 1);
}

// The gateway refused: the session ends at the exception answer already; this is the same
// account should the answer have been settled first.
CliFailure refused(uint8_t function, uint8_t code)
{
    return CliFailure::failure(QStringLiteral("The gateway refused the request: %1").arg(ModbusException{function, code}.text()));
}

} // namespace

QString RegisterCommand::valueText(uint16_t value, Format format)
{
    switch (format) {
    case Format::Hex:
        return QStringLiteral("0x") + QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
    case Format::Signed:
        return QString::number(int16_t(value));
    case Format::Decimal:
        break;
    }
    return QString::number(value);
}

QString RegisterCommand::table(uint16_t first, const QList<uint16_t> &values, Format format)
{
    QStringList lines;
    for (int i = 0; i < values.size(); ++i)
        lines.append(QString::number(first + i).leftJustified(7) + valueText(values[i], format));
    return lines.join(QLatin1Char('\n'));
}

QString RegisterCommand::json(uint16_t first, const QList<uint16_t> &values, Format format)
{
    QJsonArray all;
    for (int i = 0; i < values.size(); ++i) {
        QJsonObject item{{QStringLiteral("register"), first + i}};
        if (format == Format::Hex)
            item.insert(QStringLiteral("value"), valueText(values[i], format));
        else
            item.insert(QStringLiteral("value"), format == Format::Signed ? int(int16_t(values[i])) : int(values[i]));
        all.append(item);
    }
    return QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented)).trimmed();
}

int RegisterCommand::run(CliContext &ctx)
{
    CommandArgs args(ctx.options.command, ctx.options.arguments);
    return ctx.options.command == QLatin1String("read") ? read(ctx, args) : write(ctx, args);
}

int RegisterCommand::read(CliContext &ctx, CommandArgs &args)
{
    const Format format = formatOf(args.value(QStringLiteral("format")));
    const bool asJson = args.flag(QStringLiteral("json"));
    const uint16_t first = ValueParser::registerNumber(args.positional(QStringLiteral("REG")), QStringLiteral("REG"));
    const auto countText = args.nextPositional();
    args.finish();
    const int count = countText ? ValueParser::wholeNumber(*countText, 1, TModbusKomunikator::MaxReadRegisters,
                                                           QStringLiteral("COUNT takes 1 to %1 registers").arg(TModbusKomunikator::MaxReadRegisters))
                                : 1;
    if (first + count > kRegisterSpace)
        throw CliFailure::usage(QStringLiteral("%1 registers from %2 pass the last register, 65535").arg(count).arg(first));

    GatewaySession session(ctx.options.link, ctx.wait);
    session.open();
    TTarvikKomunikator &gw = session.gateway();
    for (int attempt = 1; attempt <= kReadAttempts; ++attempt) {
        const auto answer = session.exchange([&] { gw.ReadRegisters(first, count); });
        using Outcome = TModbusKomunikator::RequestOutcome;
        if (answer.outcome == Outcome::Refused)
            throw refused(kRead, answer.exceptionCode);
        if (answer.outcome == Outcome::Confirmed) {
            ctx.console.out(asJson ? json(first, answer.registers, format) : table(first, answer.registers, format));
            return int(ExitCode::Done);
        }
    }
    throw CliFailure::failure(QStringLiteral("No answer from the gateway (%1) to the read of %2: %3 requests unanswered")
                                  .arg(ctx.options.link.describe(), rangeText(first, count))
                                  .arg(kReadAttempts));
}

void RegisterCommand::confirmRoles(CliContext &ctx, uint16_t first, int count)
{
    QStringList roles;
    for (int i = 0; i < count; ++i)
        if (const QString role = RegisterRole::of(uint16_t(first + i)); !role.isEmpty())
            roles.append(role);
    if (roles.isEmpty())
        return;
    QString text = roles.mid(0, kRolesListed).join(QStringLiteral("; "));
    if (roles.size() > kRolesListed)
        text += QStringLiteral("; and %1 more such registers").arg(roles.size() - kRolesListed);
    text[0] = text[0].toUpper();
    if (!ctx.prompts.confirm(QStringLiteral("%1. Write %2?").arg(text, rangeText(first, count)), Prompts::Question::WarningYesNo))
        throw CliFailure::usage(QStringLiteral("Nothing was written."));
}

int RegisterCommand::write(CliContext &ctx, CommandArgs &args)
{
    ctx.prompts.setAssumeYes(args.flag(QStringLiteral("yes")));
    const uint16_t first = ValueParser::registerNumber(args.positional(QStringLiteral("REG and VALUE")), QStringLiteral("REG"));
    QList<uint16_t> values{ValueParser::registerValue(args.positional(QStringLiteral("VALUE")))};
    while (const auto more = args.nextPositional())
        values.append(ValueParser::registerValue(*more));
    args.finish();
    const int count = int(values.size());
    if (count > TModbusKomunikator::MaxWriteRegisters)
        throw CliFailure::usage(QStringLiteral("write takes 1 to %1 values, as many as one request holds").arg(TModbusKomunikator::MaxWriteRegisters));
    if (first + count > kRegisterSpace)
        throw CliFailure::usage(QStringLiteral("%1 values from register %2 pass the last register, 65535").arg(count).arg(first));
    confirmRoles(ctx, first, count);

    GatewaySession session(ctx.options.link, ctx.wait);
    session.open();
    TTarvikKomunikator &gw = session.gateway();
    const uint8_t function = count == 1 ? 0x06 : 0x10;
    const auto answer = session.exchange([&] {
        if (count == 1)
            gw.WriteRegister(values.first(), first);
        else
            gw.WriteRegisters(values, first);
    });
    using Outcome = TModbusKomunikator::RequestOutcome;
    if (answer.outcome == Outcome::Refused)
        throw refused(function, answer.exceptionCode);
    if (answer.outcome != Outcome::Confirmed)
        throw CliFailure::failure(QStringLiteral("No answer from the gateway (%1) to the write of %2: it may or may not have "
                                                 "been carried out; see with tarvik-cli read %3 %4")
                                      .arg(ctx.options.link.describe(), rangeText(first, count))
                                      .arg(first)
                                      .arg(count));
    ctx.console.out(QStringLiteral("Wrote %1 (function %2); the gateway confirmed it.")
                        .arg(rangeText(first, count), count == 1 ? QStringLiteral("06") : QStringLiteral("16")));
    return int(ExitCode::Done);
}
