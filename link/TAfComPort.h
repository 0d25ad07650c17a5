#pragma once

#include "LineSettings.h"
#include "PortLimits.h"
#include "SerialTransport.h"
#include "TransportFactory.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

// The serial port component of the gateway link. It opens a port with the chosen line
// settings, reads and writes bytes, and raises OnDataRecived on the GUI thread when bytes
// arrive and again about every 200 ms for as long as bytes stay unread. Failures throw
// ComPortError with the texts the application's error handler knows. When the device vanishes
// under the open port the component is closed once and OnClosed tells the owner.
//
// A port may also be a line reached over the network ("tcp://HOST:PORT", "mbap://HOST:PORT"):
// unless the component was given a transport of its own, each open takes the transport the
// port name calls for (TransportFactory). A connection that ends is a device that vanished.
class TAfComPort : public QObject
{
    Q_OBJECT
public:
    using DataReceivedHandler = std::function<void(TAfComPort *sender, int count)>;
    using ClosedHandler = std::function<void(TAfComPort *sender, const QString &reason)>;

    static constexpr int InBufSize = kInBufSize;
    static constexpr int OutBufSize = kOutBufSize;
    static constexpr int RepeatIntervalMs = 200;

    // Uses the transport the port name calls for (a QSerialPort for a device) unless another
    // transport is given, which is then used for every name; the component owns it.
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
    // What the last open came to (Ok before any).
    SerialTransport::OpenResult lastOpenResult() const { return m_lastOpen; }

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

    // How much later than on a serial line an answer may arrive through this port: the
    // transport's figure (0 on a serial line) unless set.
    int answerAllowanceMs() const { return m_answerAllowanceMs.value_or(m_transport->answerAllowanceMs()); }
    void setAnswerAllowanceMs(std::optional<int> ms) { m_answerAllowanceMs = ms; }

private:
    [[noreturn]] void raise(const QString &message) const;
    [[noreturn]] void raiseOpenFailure(SerialTransport::OpenResult result, const QString &shown,
                                       const QString &device) const;
    void useTransport(std::unique_ptr<SerialTransport> transport);
    void applyWhileOpen(const LineSettings &settings);
    void onDataArrived();
    void onDeviceLost(const QString &reason);
    void raiseDataReceived();

    std::unique_ptr<SerialTransport> m_transport;
    // Each open takes the transport the port name calls for (no transport was given).
    bool m_choosesTransport = false;
    TransportFactory::Kind m_transportKind = TransportFactory::Kind::Serial;
    SerialTransport::OpenResult m_lastOpen = SerialTransport::OpenResult::Ok;
    std::optional<int> m_answerAllowanceMs;
    QString m_portName;
    LineSettings m_settings;
    QTimer m_repeatTimer;
    QTimer m_holdTimer;
};
