#pragma once

#include "GatewaySimulator.h"
#include "RomCode.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// A simulated gateway on a pseudo-terminal in the test program, reached through the link
// "gw" in a temporary folder of its own (which the test may use for its files too). By default
// the demo gateway at 115.2 kBd, answering at once and with values that do not drift, so what
// the tool shows can be compared with its registers. unplug() takes the gateway and its link
// away under an open port; plugIn() brings a fresh one back at the same link.
struct SimOnPty
{
    enum class Population { Demo, Empty };

    explicit SimOnPty(const GatewaySimulator::Options &options = defaults(),
                      Population population = Population::Demo);

    static GatewaySimulator::Options defaults();
    // A fresh gateway behind the link (one still there goes first).
    void plugIn();
    // The gateway goes away and its link with it.
    void unplug() { sim.reset(); }
    // --port and --baud of this gateway.
    QStringList line() const;
    GatewaySimulator *operator->() const { return sim.get(); }
    GatewayModel &model() { return sim->model(); }
    // The ROM code words channel c's record holds.
    RomCode::Words rom(int channel) const;
    // The 40 channels' assignments.
    QList<std::optional<RomCode::Words>> assignments() const;

    QTemporaryDir dir;
    QString link;
    GatewaySimulator::Options options;
    Population population;
    std::unique_ptr<GatewaySimulator> sim;
};
