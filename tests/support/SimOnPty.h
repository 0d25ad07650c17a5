#pragma once

#include "GatewaySimulator.h"
#include "RomCode.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// The demo gateway on a pseudo-terminal in the test program, answering at once and with
// values that do not drift, so what tarvik-cli prints can be compared with its registers.
struct SimOnPty
{
    explicit SimOnPty(const GatewaySimulator::Options &options = defaults());

    static GatewaySimulator::Options defaults();
    // --port and --baud of this gateway.
    QStringList line() const;
    GatewayModel &model() { return sim->model(); }
    // The ROM code words channel c's record holds.
    RomCode::Words rom(int channel) const;
    // The 40 channels' assignments.
    QList<std::optional<RomCode::Words>> assignments() const;

    QTemporaryDir dir;
    QString link;
    std::unique_ptr<GatewaySimulator> sim;
};
