#pragma once

#include "LineSettings.h"

#include <QByteArray>
#include <QObject>

// The simulated gateway's end of a serial line: bytes in and out, and the line settings the
// tool uses on its end (which decide whether the gateway can understand it at all).
class GatewayLine : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~GatewayLine() override;

    virtual QByteArray readAll() = 0;
    virtual void write(const QByteArray &bytes) = 0;
    // While held, arrivals need not be announced: they wait on the line until read. A line
    // that keeps its arrivals anyway (in memory) may go on announcing them.
    virtual void holdReading(bool hold) { Q_UNUSED(hold); }
    // The tool's line settings; parityKnown is false where the line cannot carry parity.
    virtual LineSettings toolSettings(bool *parityKnown) const = 0;
    // The name the tool opens this line by.
    virtual QString toolPortName() const = 0;

signals:
    void readyRead();
};
