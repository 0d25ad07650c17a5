#pragma once

#include "GatewayLine.h"
#include "GatewaySimulator.h"

#include <QList>
#include <QObject>
#include <memory>
#include <vector>

// Several simulated gateways on one line, as on an RS-485 bus. Every gateway hears every
// request the tool sends and only the one addressed answers; a request to an address no
// gateway has, or a broadcast read, gets no answer, and a broadcast write is carried out by
// every gateway without one. Each gateway keeps its own model, answer delay, pacing, faults
// and stalls; all answers go out on the one line, so a master that asks a second gateway
// before the first has answered gets both answers mixed, as on a real bus. The gateways do not
// hear each other's answers (to each of them they would only be frames for someone else).
//
// In memory, for the tool's port built on a MemoryTransport toolEnd:
//     GatewayBus bus(std::make_unique<MemoryGatewayLine>(&toolEnd));
//     bus.addGateway({.address = 1})->model().loadDemoPopulation();
//     bus.addGateway({.address = 2})->model().loadDemoPopulation(2);
//     bus.gateway(2)->setSilent(true);
class GatewayBus : public QObject
{
    Q_OBJECT
public:
    explicit GatewayBus(std::unique_ptr<GatewayLine> line, QObject *parent = nullptr);
    ~GatewayBus() override;

    // Adds a gateway at options.address, with a model of its own or one shared with a gateway
    // on another line. The line echoes a request once, so only the first gateway added keeps
    // options.echo. nullptr when the address is not 1-247 or already taken.
    GatewaySimulator *addGateway(
        const GatewaySimulator::Options &options, std::shared_ptr<GatewayModel> model = nullptr);
    // The gateway at this address, or nullptr.
    GatewaySimulator *gateway(uint8_t address) const;
    // Every gateway, in the order they were added.
    QList<GatewaySimulator *> gateways() const;

    GatewayLine &line() { return *m_line; }
    QString toolPortName() const { return m_line->toolPortName(); }
    // True while any gateway is preparing or sending an answer.
    bool busy() const;
    // True while an answer may still come: a gateway is busy, or stalled with requests that
    // may be waiting for it.
    bool answerDue() const;

private:
    void onReadyRead();

    std::unique_ptr<GatewayLine> m_line; // declared first: the gateways' taps use it
    std::vector<std::unique_ptr<GatewaySimulator>> m_gateways;
};
