#include "SimOnPty.h"

#include "PtyGatewayLine.h"
#include "RegisterMap.h"

SimOnPty::SimOnPty(const GatewaySimulator::Options &options, Population population)
    : link(dir.filePath(QStringLiteral("gw"))), options(options), population(population)
{
    plugIn();
}

GatewaySimulator::Options SimOnPty::defaults()
{
    return {.line = {.baudRate = 115200}, .paced = false, .clock = false};
}

void SimOnPty::plugIn()
{
    sim.reset(); // a gateway still there takes its link with it when it goes
    auto line = std::make_unique<PtyGatewayLine>();
    line->link().linkTo(link);
    sim = std::make_unique<GatewaySimulator>(std::move(line), options);
    if (population == Population::Demo)
        sim->model().loadDemoPopulation();
}

QStringList SimOnPty::line() const
{
    return {QStringLiteral("--port"), link, QStringLiteral("--baud"), QString::number(options.line.baudRate)};
}

RomCode::Words SimOnPty::rom(int channel) const
{
    const uint16_t r = ChannelMap::recordAddress(channel);
    const GatewayModel &m = sim->model();
    return {m.reg(r), m.reg(uint16_t(r + 1)), m.reg(uint16_t(r + 2)), m.reg(uint16_t(r + 3))};
}

QList<std::optional<RomCode::Words>> SimOnPty::assignments() const
{
    QList<std::optional<RomCode::Words>> all;
    for (int c = 1; c <= ChannelMap::ChannelCount; ++c)
        all.append(sim->model().assigned(c));
    return all;
}
