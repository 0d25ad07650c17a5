#include "GatewayBus.h"

#include "BusTap.h"

GatewayBus::GatewayBus(std::unique_ptr<GatewayLine> line, QObject *parent)
    : QObject(parent)
    , m_line(std::move(line))
{
    connect(m_line.get(), &GatewayLine::readyRead, this, &GatewayBus::onReadyRead);
}

GatewayBus::~GatewayBus() = default;

GatewaySimulator *GatewayBus::addGateway(
    const GatewaySimulator::Options &options, std::shared_ptr<GatewayModel> model)
{
    if (options.address < 1 || options.address > 247 || gateway(options.address))
        return nullptr;
    GatewaySimulator::Options own = options;
    own.echo = options.echo && m_gateways.empty();
    m_gateways.push_back(std::make_unique<GatewaySimulator>(
        std::make_unique<BusTap>(*m_line), own, std::move(model)));
    return m_gateways.back().get();
}

GatewaySimulator *GatewayBus::gateway(uint8_t address) const
{
    for (const auto &g : m_gateways)
        if (g->options().address == address)
            return g.get();
    return nullptr;
}

QList<GatewaySimulator *> GatewayBus::gateways() const
{
    QList<GatewaySimulator *> all;
    for (const auto &g : m_gateways)
        all.append(g.get());
    return all;
}

bool GatewayBus::busy() const
{
    for (const auto &g : m_gateways)
        if (g->busy())
            return true;
    return false;
}

bool GatewayBus::answerDue() const
{
    for (const auto &g : m_gateways)
        if (g->busy() || g->stalled())
            return true;
    return false;
}

void GatewayBus::onReadyRead()
{
    const QByteArray bytes = m_line->readAll();
    if (bytes.isEmpty())
        return;
    for (const auto &g : m_gateways)
        static_cast<BusTap &>(g->line()).deliver(bytes);
}
