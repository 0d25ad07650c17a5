#pragma once

#include "SerialTransport.h"

#include <QObject>
#include <QThread>
#include <memory>

class GatewaySimulator;

// The simulated gateway inside the tool, so a newcomer sees a live gateway without hardware.
// Where the system has pseudo-terminals it runs on its own thread behind one, and the tool opens
// it like any serial port; elsewhere it works on an in-memory line the tool's port is built on.
class DemoGateway : public QObject
{
    Q_OBJECT
public:
    static constexpr qint32 BaudRate = 115200; // the gateway's USB interface

    DemoGateway();
    ~DemoGateway() override;

    // Starts the gateway; false with the reason when it cannot.
    bool start(QString *error);
    // The port the tool opens.
    QString portName() const { return m_portName; }
    // The transport the tool's port must use (in-memory line), or nullptr for a normal port.
    std::unique_ptr<SerialTransport> takeTransport() { return std::move(m_transport); }

private:
    QThread m_thread;
    QObject *m_context = nullptr;
    GatewaySimulator *m_sim = nullptr;
    QString m_portName;
    std::unique_ptr<SerialTransport> m_transport;
};
