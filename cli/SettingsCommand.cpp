#include "SettingsCommand.h"

#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "Console.h"
#include "GatewaySession.h"
#include "TTarvikKomunikator.h"
#include "ValueParser.h"

#include <cmath>

namespace {

constexpr int kMaxDelayMs = 200;

QString kindName(ServiceSettings::Kind kind)
{
    switch (kind) {
    case ServiceSettings::Kind::Address:
        return QStringLiteral("address");
    case ServiceSettings::Kind::BaudRate:
        return QStringLiteral("baud");
    case ServiceSettings::Kind::Parity:
        return QStringLiteral("parity");
    case ServiceSettings::Kind::StopBits:
        return QStringLiteral("stopbits");
    case ServiceSettings::Kind::Delay:
        return QStringLiteral("delay");
    case ServiceSettings::Kind::PowerLine:
        break;
    }
    return QStringLiteral("power");
}

// The items of a control's list, as the settings dialog fills it for the port.
QStringList itemsOf(ServiceSettings::Kind kind, int port)
{
    QStringList items;
    switch (kind) {
    case ServiceSettings::Kind::Address:
        TTarvikKomunikator::FillAddresses(items, port);
        break;
    case ServiceSettings::Kind::BaudRate:
        TTarvikKomunikator::FillBaudRates(items, port);
        break;
    case ServiceSettings::Kind::Parity:
        TTarvikKomunikator::FillParities(items, port);
        break;
    case ServiceSettings::Kind::StopBits:
        TTarvikKomunikator::FillStopBits(items, port);
        break;
    case ServiceSettings::Kind::PowerLine:
        items = ServiceSettings::PowerLineItems;
        break;
    case ServiceSettings::Kind::Delay:
        break;
    }
    return items;
}

uint16_t registerOf(const SettingsCommand::Block &service, uint16_t reg)
{
    return service[size_t(ServiceRegs::offset(reg))];
}

} // namespace

QString SettingsCommand::nameOf(int i)
{
    const ServiceSettings::Setting &s = ServiceSettings::Settings[size_t(i)];
    return s.port == ServiceSettings::NoPort ? kindName(s.kind) : QStringLiteral("com%1.%2").arg(int(s.port)).arg(kindName(s.kind));
}

std::pair<int, double> SettingsCommand::parseAssignment(const QString &assignment)
{
    const QString name = assignment.section(QLatin1Char('='), 0, 0).trimmed().toLower();
    const QString value = assignment.section(QLatin1Char('='), 1).trimmed();
    for (int i = 0; i < ServiceSettings::Count; ++i) {
        if (nameOf(i) != name)
            continue;
        const QString error = QStringLiteral("%1 takes ").arg(name);
        switch (ServiceSettings::Settings[size_t(i)].kind) {
        case ServiceSettings::Kind::Address:
            return {i, ValueParser::wholeNumber(value, 1, 247, error + QStringLiteral("1 to 247")) - 1};
        case ServiceSettings::Kind::BaudRate:
            return {i, TTarvikKomunikator::BaudIndexOf(ValueParser::baudRate(value, name) / 100)};
        case ServiceSettings::Kind::Parity:
            return {i, int(ValueParser::parity(value, name))};
        case ServiceSettings::Kind::StopBits:
            return {i, int(ValueParser::stopBits(value, name))};
        case ServiceSettings::Kind::PowerLine:
            return {i, ValueParser::wholeNumber(value, 0, 5, error + QStringLiteral("0 to 5"))};
        case ServiceSettings::Kind::Delay: {
            // As the dialog's field: milliseconds, a fraction is cut off.
            bool ok = false;
            const double ms = value.toDouble(&ok);
            if (!ok || !std::isfinite(ms) || ms < 0 || ms >= kMaxDelayMs + 1)
                throw CliFailure::usage(error + QStringLiteral("milliseconds, 0 to %1").arg(kMaxDelayMs));
            return {i, ms};
        }
        }
    }
    throw CliFailure::usage(QStringLiteral("unknown setting \"%1\": NAME is com0.baud, com0.address, com0.parity, "
                                           "com0.stopbits, com0.delay, the same for com1, or power")
                                .arg(name));
}

QString SettingsCommand::shownText(ServiceSettings::Kind kind, int port, uint16_t value)
{
    if (kind == ServiceSettings::Kind::Delay)
        return QStringLiteral("%1 ms").arg(value);
    // A value outside the list leaves the dialog's box empty; here the register value shows.
    const QStringList items = itemsOf(kind, port);
    const int index = ServiceSettings::controlIndex(kind, value);
    return index >= 0 && index < items.size() ? items[index] : QStringLiteral("? (register value %1)").arg(value);
}

QStringList SettingsCommand::table(const Block &service)
{
    using Kind = ServiceSettings::Kind;
    const std::array<std::pair<Kind, QString>, 5> rows = {{{Kind::BaudRate, QStringLiteral("Baud rate:")},
                                                           {Kind::Address, QStringLiteral("Address:")},
                                                           {Kind::Parity, QStringLiteral("Parity:")},
                                                           {Kind::StopBits, QStringLiteral("Stopbits:")},
                                                           {Kind::Delay, QStringLiteral("Delay:")}}};
    constexpr int kLabelWidth = 12;
    constexpr int kColumnWidth = 16;
    QStringList lines{QString(kLabelWidth, QLatin1Char(' ')) + QStringLiteral("COM 0 (RS485)").leftJustified(kColumnWidth)
                      + QStringLiteral("COM 1 (RS232)")};
    for (const auto &[kind, label] : rows) {
        QString line = label.leftJustified(kLabelWidth);
        for (int port = ServiceSettings::Com0; port <= ServiceSettings::Com1; ++port)
            for (const ServiceSettings::Setting &s : ServiceSettings::Settings)
                if (s.kind == kind && s.port == port)
                    line += shownText(kind, port, registerOf(service, s.reg)).leftJustified(kColumnWidth);
        lines.append(line.trimmed());
    }
    lines.append(QStringLiteral("1-Wire lines power control: ")
                 + shownText(Kind::PowerLine, ServiceSettings::NoPort, registerOf(service, ServiceRegs::PowerControl)));
    return lines;
}

int SettingsCommand::run(CliContext &ctx)
{
    CommandArgs args(ctx.options.command, ctx.options.arguments);
    std::array<ServiceSettings::Shown, ServiceSettings::Count> shown{};
    bool linkSettingChanged = false;
    for (const QString &assignment : args.assignments(QStringLiteral("set"))) {
        const auto [i, value] = parseAssignment(assignment);
        shown[size_t(i)] = {true, value};
    }
    args.finish();

    GatewaySession session(ctx.options.link, ctx.wait);
    session.open();
    session.readBlocksOrStop({ServiceBlockIndex}, 0, QStringLiteral("Interrupted."));
    const Block before = session.block(ServiceBlockIndex);

    // Like the dialog's marks: only what the user changed, and here only where it differs.
    for (int i = 0; i < ServiceSettings::Count; ++i) {
        const ServiceSettings::Setting &s = ServiceSettings::Settings[size_t(i)];
        if (shown[size_t(i)].marked && ServiceSettings::registerValue(s.kind, shown[size_t(i)].value) == registerOf(before, s.reg))
            shown[size_t(i)].marked = false;
        if (shown[size_t(i)].marked && s.kind != ServiceSettings::Kind::Delay && s.kind != ServiceSettings::Kind::PowerLine)
            linkSettingChanged = true;
    }
    const QList<TWriteEntry> writes = ServiceSettings::writeList(shown);
    if (writes.isEmpty()) {
        for (const QString &line : table(before))
            ctx.console.out(line);
        return int(ExitCode::Done);
    }

    if (linkSettingChanged)
        session.setSilenceHint(QStringLiteral("a gateway that applies new port settings at once answers only with them"));
    const int since = session.queued([&] { session.gateway().QueueWrites(writes); });
    session.readBlocksOrStop({ServiceBlockIndex}, since, QStringLiteral("Interrupted; the settings were sent."));
    const Block after = session.block(ServiceBlockIndex);
    int refused = 0;
    for (const TWriteEntry &w : writes) {
        const uint16_t now = registerOf(after, w.Address);
        for (int i = 0; i < ServiceSettings::Count; ++i) {
            const ServiceSettings::Setting &s = ServiceSettings::Settings[size_t(i)];
            if (s.reg == w.Address)
                ctx.console.out(QStringLiteral("%1: %2 -> %3 (register %4: %5 -> %6)")
                                    .arg(nameOf(i), shownText(s.kind, s.port, registerOf(before, s.reg)), shownText(s.kind, s.port, now))
                                    .arg(s.reg)
                                    .arg(registerOf(before, s.reg))
                                    .arg(now));
        }
        if (now != w.Value) {
            ++refused;
            ctx.console.err(QStringLiteral("Register %1 holds %2, not the %3 written.").arg(w.Address).arg(now).arg(w.Value));
        }
    }
    for (const QString &line : table(after))
        ctx.console.out(line);
    return refused == 0 ? int(ExitCode::Done) : int(ExitCode::Failure);
}
