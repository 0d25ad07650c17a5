#pragma once

#include "GatewayLine.h"
#include "MemoryTransport.h"

#include <QPointer>

// The gateway's end of an in-memory line whose other end the tool's port uses.
class MemoryGatewayLine final : public GatewayLine
{
    Q_OBJECT
public:
    // Joins a new gateway end to toolEnd (not owned; it must outlive this line).
    explicit MemoryGatewayLine(MemoryTransport *toolEnd, QObject *parent = nullptr);

    QByteArray readAll() override;
    void write(const QByteArray &bytes) override;
    LineSettings toolSettings(bool *parityKnown) const override;
    QString toolPortName() const override { return QStringLiteral("DEMO"); }

private:
    MemoryTransport m_end;
    QPointer<MemoryTransport> m_toolEnd;
};
