#pragma once

#include "TAfComPort.h"
#include "TFrameBuffer.h"
#include "TPocitadlo.h"

#include <QObject>
#include <QTimer>
#include <functional>

// Base of the gateway link: a serial port (not owned), the message counters, the poll timer
// and the transmit and receive frames. Descendants decide what a timer tick sends and what an
// arriving answer means. Everything runs on the GUI thread.
class TKomunikator : public QObject
{
    Q_OBJECT
public:
    using FrameHandler = std::function<void(const TFrameBuffer &frame)>;

    explicit TKomunikator(TAfComPort *port, QObject *parent = nullptr);
    ~TKomunikator() override;

    virtual void PollTimerTick() = 0;
    // The port's data-received event: count bytes are waiting.
    virtual void DataReceived(TAfComPort *sender, int count) = 0;
    // Writes TxFrame to the open port and raises OnTxFrame; does nothing on a closed port.
    virtual void SendFrame();
    // Resets the counters and opens the named port (an open port is closed and reopened on the
    // new name). Port errors propagate as ComPortError.
    virtual void Open(const QString &portName);
    virtual void Close();

    bool Active() const;
    // Appends all bytes waiting at the port to into; false when the port is closed or nothing
    // is waiting.
    bool ReadAnswer(QByteArray &into);
    // The port's current baud rate in Bd.
    qint32 UserBaudRate() const;
    void SetCountersCallback(TPocitadlo::ChangeHandler callback);

    TAfComPort *Port() const { return m_port; }
    TPocitadlo &Counters() { return m_counters; }
    const TPocitadlo &Counters() const { return m_counters; }
    QTimer &PollTimer() { return m_pollTimer; }
    const QTimer &PollTimer() const { return m_pollTimer; }
    const TFrameBuffer &TxFrame() const { return m_txFrame; }
    // The last read answer accepted.
    const TFrameBuffer &RxFrame() const { return m_rxFrame; }

    FrameHandler OnTxFrame;
    FrameHandler OnRxFrame;

    // Milliseconds on a steady clock. A test that plays the poll timer on virtual time gives
    // its own clock, so that the moments bytes arrive between ticks count as they would.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock) { m_clock = std::move(clock); }
    qint64 nowMs() const;

protected:
    // Sets the poll timer's interval; a running timer starts its interval again from now.
    void setTimerInterval(int ms);
    // A tick of the poll timer begins now.
    void tickBegins() { m_intervalStartMs = nowMs(); }
    // How long the current interval of the poll timer has been running (0 when it is stopped).
    qint64 intervalRunMs() const;
    // Raises OnRxFrame with bytes taken from the line, in pieces of at most one frame.
    void reportReceived(const QByteArray &bytes);

    TAfComPort *m_port;
    TPocitadlo m_counters;
    QTimer m_pollTimer;
    TFrameBuffer m_txFrame;
    TFrameBuffer m_rxFrame;

private:
    Clock m_clock;
    qint64 m_intervalStartMs = 0;
};
