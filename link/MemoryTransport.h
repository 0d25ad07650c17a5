#pragma once

#include "SerialTransport.h"

#include <QByteArray>
#include <QPointer>

// One end of an in-memory serial line. Two ends are joined with connectPair; what one end
// writes arrives at the other on the next turn of the event loop, as one piece. The built-in
// demo gateway runs on such a pair where the system has no pseudo-terminals, and tests use it
// to feed split, joined or lost bytes and to pull the device away under an open port.
class MemoryTransport final : public SerialTransport
{
    Q_OBJECT
public:
    explicit MemoryTransport(QObject *parent = nullptr);

    static void connectPair(MemoryTransport &a, MemoryTransport &b);

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
    bool canHoldArrivals() const override { return m_canHold; }
    void holdArrivals(bool hold) override;

    // Test hooks.
    // Puts bytes into this end's input as if they had arrived, and announces them.
    void inject(const QByteArray &bytes);
    // The result the next open returns (Ok by default).
    void setOpenResult(OpenResult result) { m_openResult = result; }
    // Refuse line settings with the given baud rate or parity, as a driver may.
    void refuseBaudRate(qint32 baud) { m_refusedBaud = baud; }
    void refuseParity(TParity parity) { m_refusedParity = parity; m_refuseParity = true; }
    // Pretend the output buffer holds that many unsent bytes.
    void setPendingWrite(qint64 count) { m_pendingWrite = count; }
    // Lets this end hold arrivals back as the system's serial port can (off by default): while
    // held, bytes wait in the input unannounced.
    void setCanHoldArrivals(bool can) { m_canHold = can; }
    // Simulates the device vanishing under the open port.
    void loseDevice(const QString &reason);
    const LineSettings &settings() const { return m_settings; }
    QString portName() const { return m_portName; }
    // Everything this end has written since the last call, while it is not joined to a peer.
    QByteArray takeWritten();

private:
    void deliver(const QByteArray &bytes);

    QPointer<MemoryTransport> m_peer;
    QByteArray m_input;
    QByteArray m_written;
    LineSettings m_settings;
    QString m_portName;
    OpenResult m_openResult = OpenResult::Ok;
    qint32 m_refusedBaud = -1;
    TParity m_refusedParity = TParity::paNone;
    bool m_refuseParity = false;
    qint64 m_pendingWrite = 0;
    bool m_open = false;
    bool m_canHold = false;
    bool m_held = false;
};
