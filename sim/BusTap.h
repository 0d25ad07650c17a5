#pragma once

#include "GatewayLine.h"

// One gateway's connection to a line that several gateways share (GatewayBus). What the tool
// sends reaches every tap; what a gateway writes goes out on the shared line.
class BusTap final : public GatewayLine
{
    Q_OBJECT
public:
    // line is not owned; it must outlive the tap.
    explicit BusTap(GatewayLine &line, QObject *parent = nullptr);

    // Bytes the tool sent, for this gateway to read.
    void deliver(const QByteArray &bytes);

    QByteArray readAll() override;
    void write(const QByteArray &bytes) override;
    // While held, arrivals wait in the tap unannounced.
    void holdReading(bool hold) override;
    LineSettings toolSettings(bool *parityKnown) const override;
    QString toolPortName() const override;

private:
    GatewayLine &m_line;
    QByteArray m_input;
    bool m_held = false;
};
