#include "SimOnPty.h"

#include "PtyGatewayLine.h"
#include "RegisterMap.h"

SimOnPty::SimOnPty(const GatewaySimulator::Options &options) : link(dir.filePath(QStringLiteral("gw")))
{
    auto line = std::make_unique<PtyGatewayLine>();
    line->link().linkTo(link);
    sim = std::make_unique<GatewaySimulator>(std::move(line), options);
    sim->model().loadDemoPopulation();
}

GatewaySimulator::Options SimOnPty::defaults()
{
    GatewaySimulator::Options options;
    options.line.baudRate = 115200;
    options.paced = false;
    options.clock = false;
    return options;
}

QStringList SimOnPty::line() const
{
    return {QStringLiteral("--port"), link, QStringLiteral("--baud"), QString::number(sim->options().line.baudRate)};
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
