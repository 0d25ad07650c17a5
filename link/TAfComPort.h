#pragma once

#include "LineSettings.h"
#include "PortLimits.h"
#include "SerialTransport.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

// The serial port component of the gateway link. It opens a port with the chosen line
// settings, reads and writes bytes, and raises OnDataRecived on the GUI thread when bytes
// arrive and again about every 200 ms for as long as bytes stay unread. Failures throw
// ComPortError with the texts the application's error handler knows. When the device vanishes
// under the open port the component is closed once and OnClosed tells the owner.
class TAfComPort : public QObject
{
    Q_OBJECT
public:
    using DataReceivedHandler = std::function<void(TAfComPort *sender, int count)>;
    using ClosedHandler = std::function<void(TAfComPort *sender, const QString &reason)>;

    static constexpr int InBufSize = kInBufSize;
    static constexpr int OutBufSize = kOutBufSize;
    static constexpr int RepeatIntervalMs = 200;

    // Uses a QSerialPort unless another transport is given; the component owns it.
    explicit TAfComPort(QObject *parent = nullptr);
    explicit TAfComPort(std::unique_ptr<SerialTransport> transport, QObject *parent = nullptr);
    ~TAfComPort() override;

    // Port identity: "COMn" on Windows, the device path elsewhere. Changing it while the port
    // is open closes the port and opens the new one.
    QString portName() const { return m_portName; }
    void setPortName(const QString &name);
    int ComNumber() const;
    void setComNumber(int n);

    qint32 UserBaudRate() const { return m_settings.baudRate; }
    void setUserBaudRate(qint32 baud);
    TParity parity() const { return m_settings.parity; }
    void setParity(TParity parity);
    TStopBits stopBits() const { return m_settings.stopBits; }
    void setStopBits(TStopBits stopBits);
    const LineSettings &lineSettings() const { return m_settings; }

    void open();
    void close();
    bool isActive() const;

    // Bytes received and not yet read; 0 when closed.
    int bytesWaiting() const;
    // Reads exactly count waiting bytes; fewer raise "Read data error".
    void read(void *buffer, int count);
    // Queues count bytes for sending; "Write data error [requested: %d, free: %d]" when the
    // output buffer has too little room.
    void write(const void *buffer, int count);
    void purgeReceive();

    // Holds the data-received event back for ms while the bytes wait in the driver, so that an
    // answer arriving in many pieces wakes the program once, when it should be whole. When the
    // hold ends (or releaseArrivals ends it early) whatever arrived is reported. A transport
    // that cannot hold arrivals back keeps reporting each one; closing the port ends a hold.
    void holdArrivals(int ms);
    void releaseArrivals();
    bool holdingArrivals() const { return m_holdTimer.isActive(); }

    DataReceivedHandler OnDataRecived;
    ClosedHandler OnClosed;

    // The 200 ms repetition of the data-received event; tests call it directly.
    void repeatTimerTick();
    bool repeatTimerActive() const { return m_repeatTimer.isActive(); }
    SerialTransport &transport() { return *m_transport; }

private:
    [[noreturn]] void raise(const QString &message) const;
    void applyWhileOpen(const LineSettings &settings);
    void onDataArrived();
    void onDeviceLost(const QString &reason);
    void raiseDataReceived();

    std::unique_ptr<SerialTransport> m_transport;
    QString m_portName;
    LineSettings m_settings;
    QTimer m_repeatTimer;
    QTimer m_holdTimer;
};
