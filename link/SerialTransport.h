#pragma once

#include "LineSettings.h"

#include <QObject>
#include <QString>

// The narrow interface through which the serial port component reaches the operating system:
// a real QSerialPort in the product (or a TCP connection to a line reached over the network),
// an in-memory pair for the built-in demo gateway and for fast tests that split, join or lose
// bytes.
class SerialTransport : public QObject
{
    Q_OBJECT
public:
    enum class OpenResult { Ok, NotFound, Busy, NoAccess, Failed };

    using QObject::QObject;
    ~SerialTransport() override;

    // Opens the named port for exclusive reading and writing with 8 data bits, no flow control
    // and DTR and RTS on. The line settings are applied separately (applySettings). Returns
    // only once the port is open or has failed, within a few seconds at most.
    virtual OpenResult open(const QString &portName) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Applies the settings to the open line; false when the driver refuses them, in which case
    // the previous settings stay in force.
    virtual bool applySettings(const LineSettings &settings) = 0;
    // Bytes received and not yet read.
    virtual qint64 bytesWaiting() const = 0;
    // Reads up to maxCount waiting bytes; returns how many were read.
    virtual qint64 read(char *data, qint64 maxCount) = 0;
    // Queues bytes for sending; returns how many were taken, or -1 on failure.
    virtual qint64 write(const char *data, qint64 count) = 0;
    // Bytes queued for sending and not yet handed to the driver.
    virtual qint64 bytesPendingWrite() const = 0;
    virtual void purgeReceive() = 0;
    virtual void purgeTransmit() = 0;
    // Why the last open failed, in the operating system's words (for the log).
    virtual QString lastErrorText() const = 0;
    // Whether dataArrived can be held back while the bytes wait in the driver (holdArrivals).
    virtual bool canHoldArrivals() const { return false; }
    // Holds dataArrived back (true) or lets it come again (false). While held, arriving bytes
    // stay in the driver and wake nobody; once released, whatever is there is reported as one
    // arrival. Closing the port ends a hold.
    virtual void holdArrivals(bool hold) { Q_UNUSED(hold) }
    // How much later than on a serial line an answer may arrive through this transport: 0 on
    // a serial line; over a network, what the network and the server in between add.
    virtual int answerAllowanceMs() const { return 0; }

signals:
    // New bytes arrived.
    void dataArrived();
    // The device stopped working under the open port (unplugged, far end gone).
    void deviceLost(const QString &reason);
};
