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
    // The tool's line settings; parityKnown is false where the line cannot carry parity.
    virtual LineSettings toolSettings(bool *parityKnown) const = 0;
    // The name the tool opens this line by.
    virtual QString toolPortName() const = 0;

signals:
    void readyRead();
};
