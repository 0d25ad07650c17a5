#pragma once

#include "ServiceSettings.h"

#include <QString>
#include <QStringList>
#include <array>

struct CliContext;

// settings [--set NAME=VALUE ...]: the gateway's port settings and 1-Wire power control as the
// settings dialog shows them. --set marks the named controls as the dialog's edits do, writes
// those whose value differs from the gateway's in the dialog's order, then reads the service
// block back; a register that did not take its value ends with exit code 1.
class SettingsCommand
{
public:
    using Block = std::array<uint16_t, PollBlockSize>;

    static int run(CliContext &ctx);

    // com0.baud, com0.address, ..., com1.delay, power: the name of setting i.
    static QString nameOf(int i);
    // What the dialog's control shows for NAME=VALUE: the list index, or the delay in ms.
    static std::pair<int, double> parseAssignment(const QString &assignment);
    // The text the control shows for a register value ("9.6 kBd", "EVEN", "25 ms").
    static QString shownText(ServiceSettings::Kind kind, int port, uint16_t value);
    static QStringList table(const Block &service);
};
