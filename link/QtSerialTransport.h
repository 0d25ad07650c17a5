#pragma once

#include "SerialTransport.h"

#include <QSerialPort>

// The product's transport: a QSerialPort. readyRead arrives on the thread that owns it (the
// GUI thread). A read or resource error on an open port is reported once as deviceLost, since
// QSerialPort repeats it in a tight loop until the port is closed. On Unix arrivals can be held
// back: the port's read notifier is switched off, so bytes trickling in from the line (a USB
// adapter delivers an answer in many pieces) wait in the driver without waking the process.
class QtSerialTransport final : public SerialTransport
{
    Q_OBJECT
public:
    explicit QtSerialTransport(QObject *parent = nullptr);

    OpenResult open(const QString &portName) override;
    void close() override;
    bool isOpen() const override;
    bool applySettings(const LineSettings &settings) override;
    qint64 bytesWaiting() const override;
    qint64 read(char *data, qint64 maxCount) override;
    qint64 write(const char *data, qint64 count) override;
    qint64 bytesPendingWrite() const override;
    void purgeReceive() override;
    void purgeTransmit() override;
    QString lastErrorText() const override;
    bool canHoldArrivals() const override;
    void holdArrivals(bool hold) override;

private:
    void onError(QSerialPort::SerialPortError error);
    void setReadNotices(bool on);
    // Bytes in the driver that QSerialPort has not read yet.
    qint64 driverBytes() const;

    QSerialPort m_port;
    QString m_lastError;
    bool m_lost = false;
    bool m_held = false;
};
