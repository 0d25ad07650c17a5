#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class TAfComPort;
class TModbusKomunikator;

// One line shared by gateways at different addresses, one exchange on it at a time.
//
// Each gateway's cycle keeps its own pacing and asks for the line before every request it
// sends. The line is given when the exchange on it is over and the line has been quiet as long
// as the gateway of that exchange asks: the frame gap after a good answer, a whole exchange
// after a lost, broken or late one, so a late answer can only disturb its own gateway's next
// read. Gateways that asked while the line was busy get it in the order they asked, each as
// soon as the one before is done, so requests to different gateways follow each other as fast
// as the line allows. Bytes from the line go to the gateway whose exchange it is; an answer
// from another address is a foreign answer there, never data. A gateway is asked only every
// ProbeIntervalMs once SilentAfterReads reads in a row got nothing back, so a
// silent one costs the others one exchange per probe.
//
// With one gateway the line is always its own and its cycle runs exactly as without a bus.
class BusScheduler : public QObject
{
    Q_OBJECT
public:
    static constexpr int ProbeIntervalMs = 10000;
    // Reads in a row without any answer after which a gateway counts as silent.
    static constexpr int SilentAfterReads = 3;

    explicit BusScheduler(TAfComPort &port, QObject *parent = nullptr);
    ~BusScheduler() override;

    // Puts a gateway on the line. It must have been made on this scheduler's port, and it
    // must not send once the scheduler is gone (the scheduler does not touch it then either).
    void add(TModbusKomunikator &gateway);
    const QList<TModbusKomunikator *> &gateways() const { return m_gateways; }
    TAfComPort &port() const { return m_port; }

    // Opens the port under this name and starts every gateway's cycle on it; port errors
    // propagate as ComPortError.
    void open(const QString &portName);
    // Stops every gateway's cycle and closes the port.
    void close();

    // A gateway's cycle is ready to send: true when the line is its own now. Otherwise it is
    // given its turn (TModbusKomunikator::TakeTurn) once the line is free and those who asked
    // before had theirs, unless it is a silent gateway whose next probe is not due.
    bool mayTalk(TModbusKomunikator &gateway);
    // Whether bytes from the line are this gateway's to read.
    bool holdsLine(const TModbusKomunikator &gateway) const;
    // A gateway's cycle stopped (its port closed): it no longer waits for the line.
    void forget(TModbusKomunikator &gateway);

    // How long one round of all gateways takes on the line at the least: each gateway's whole
    // read exchange. A gateway's turn comes no more often than this, however short its own
    // poll interval.
    int roundMs() const;

    // How long a silent gateway waits between probes (ProbeIntervalMs unless a test says).
    void setProbeIntervalMs(int ms) { m_probeIntervalMs = ms; }

private:
    void onData(int count);
    // Gives the line to the first gateway waiting once the exchange on it is over.
    void passTurn();
    void scheduleTurn(int ms);
    int lineBusyMs();
    void take(TModbusKomunikator &gateway);

    TAfComPort &m_port;
    QList<TModbusKomunikator *> m_gateways;
    TModbusKomunikator *m_holder = nullptr;
    QList<TModbusKomunikator *> m_waiting;
    QHash<const TModbusKomunikator *, qint64> m_lastTurnMs;
    QTimer m_turnTimer;
    int m_probeIntervalMs = ProbeIntervalMs;
};
