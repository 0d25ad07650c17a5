#pragma once

#include "AnswerMatcher.h"
#include "ComPortError.h"
#include "LineSettings.h"
#include "TAfComPort.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>
#include <optional>

// Finds gateways whose speed and address are not known, on a port that is open already. Each
// address in turn is asked at each speed (in the order given) for the version register alone.
// Each probe starts on a quiet line and waits as long as a gateway set to the longest answer
// delay takes at that speed, so a slow gateway's answer is neither missed nor taken for the
// next probe's. Whatever answers is asked once more and reported only when it answers again;
// once something answered, the remaining addresses are tried at its speed only, since devices
// on one line share its speed.
//
// The search runs on the event loop (a timer and the port's data event), so a window stays
// responsive and a command can be interrupted. It borrows the port: while it runs it takes the
// port's data and closed events and gives back the handlers it found when it ends. The port
// must outlive it.
class GatewayFinder : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QList<qint32> speeds;  // in Bd, in the order tried
        QList<int> addresses;  // in the order tried
        // How long a probe waits for its answer; unset: probeTimeoutMs at the probe's speed plus
        // what the port adds (a line over the network).
        std::optional<int> timeoutMs;
    };
    // A device that answered twice.
    struct Find
    {
        qint32 baud = 0;
        int address = 0;
        QByteArray answer;    // the second answer, a whole frame
        bool refused = false; // it answered with an exception: some other device, not a gateway
        bool isGateway() const { return !refused; }
        // The gateway's firmware version register (a gateway only).
        uint16_t version() const;
    };
    enum class Outcome {
        Running,
        Completed, // every speed and address was tried
        Cancelled,
        PortFailed, // the port refused a speed or a write: portError()
        PortLost,   // the port went away: lostReason()
    };

    GatewayFinder(TAfComPort &port, Options options, QObject *parent = nullptr);
    ~GatewayFinder() override;

    // The gateway's 16 speeds in Bd, the usual ones first.
    static QList<qint32> commonFirst();
    // Request and answer on the line with the silence between them, the longest answer delay a
    // gateway can be set to, and the margin for the adapter and the system.
    static int probeTimeoutMs(const LineSettings &line);
    // How long no byte may have come before a probe goes out: the 3.5 characters that end a
    // frame, and the same margin.
    static int quietMs(const LineSettings &line);

    // Starts the search on the open port; finished() follows, never from inside start().
    void start();
    // Ends a running search at once: nothing more is sent, finished() with Cancelled.
    void cancel();

    bool running() const { return m_outcome == Outcome::Running && m_started; }
    Outcome outcome() const { return m_outcome; }
    // First probes completed (a second read to confirm an answer is not counted).
    int tried() const { return m_tried; }
    // Speed and address pairs at most: fewer are tried once something answered.
    qsizetype total() const { return m_options.speeds.size() * m_options.addresses.size(); }
    // Pairs still to be tried after the one at hand: once something answered, only those at its
    // speed.
    qsizetype toTry() const;
    const QList<Find> &finds() const { return m_finds; }
    qint64 elapsedMs() const { return m_elapsedMs; }
    const std::optional<ComPortError> &portError() const { return m_portError; }
    QString lostReason() const { return m_lostReason; }

signals:
    // A first probe of this pair goes out; tried probes are done so far.
    void probing(qint32 baud, int address, int tried, qsizetype total);
    // The pair answered and is asked again.
    void confirming(qint32 baud, int address);
    // The pair answered twice.
    void found(const GatewayFinder::Find &find);
    // The search ended (outcome() says how).
    void finished();

private:
    enum class State { Idle, Starting, Quieting, Listening, Answered, Failed };

    void nextPair();
    void beginProbe();
    void checkQuiet();
    void send();
    void probeOver();
    void onTimer();
    void onData();
    // Reads what the port holds: the probe's answer while listening, otherwise dropped.
    void takeBytes();
    bool answerComplete() const;
    void failPort(const ComPortError &error);
    void finish(Outcome outcome);

    TAfComPort &m_port;
    Options m_options;
    TAfComPort::DataReceivedHandler m_ownerData;
    TAfComPort::ClosedHandler m_ownerClosed;
    QTimer m_timer;
    State m_state = State::Idle;
    Outcome m_outcome = Outcome::Running;
    bool m_started = false;
    qsizetype m_pair = -1; // index into addresses x speeds
    qint32 m_baud = 0;
    int m_address = 0;
    bool m_confirming = false;
    int m_timeoutMs = 0;
    int m_quietMs = 0;
    std::optional<qint32> m_lineSpeed;
    QByteArray m_received;
    AnswerMatcher m_expected;
    QElapsedTimer m_sinceByte;   // since the last byte arrived (or the search began)
    QElapsedTimer m_quietWaited; // since the wait for a quiet line began
    QElapsedTimer m_clock;
    int m_tried = 0;
    QList<Find> m_finds;
    qint64 m_elapsedMs = 0;
    std::optional<ComPortError> m_portError;
    QString m_lostReason;
    bool m_lost = false; // the port went away; the search ends from the event loop
};
