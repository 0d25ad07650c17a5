#pragma once

#include "FaultInjector.h"
#include "GatewayLine.h"
#include "GatewayModel.h"
#include "LineSettings.h"
#include "ModbusSlave.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

// A simulated gateway on a serial line. It gathers request frames, answers them through its
// Modbus slave after the answer delay of register 1053, and sends each answer paced at the line
// speed, so a long answer arrives in parts as on a real line. A request sent with other line
// settings than the gateway's own gets no answer. Faults can be injected into read answers and
// the firmware update's answers, and firmware data frames can be refused. Any answer can be held
// back (late), and the gateway can stop reading its line for a while (stall): both keep the
// answers in request order, as a gateway working through a queue does. A silent gateway hears
// its line but answers nothing, as one that has lost power or its bus connection.
//
// The gateway's registers and devices (its model) are its own, or shared with gateways on
// other lines: the same simulated gateway can then be reached over several lines at once (a
// pseudo-terminal and a TCP server), and a write through one shows through the others. Only
// one of the gateways sharing a model should run the clock.
class GatewaySimulator : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        uint8_t address = 1;
        LineSettings line{9600, TParity::paNone, TStopBits::sbOne};
        bool paced = true;  // send answers at line speed (off: at once, for fast tests)
        bool clock = true;  // let measured values drift once a second (off: fixed values)
        bool echo = false;  // the line echoes every request, as some two-wire adapters do
        quint32 seed = 1;
        // A stall of stallMs every stallEveryMs, the first one period after the start (either
        // 0: none).
        int stallMs = 0;
        int stallEveryMs = 0;
    };
    struct Stats
    {
        int frames = 0;        // complete frames taken from the line
        int answered = 0;      // answers sent (or dropped by a fault)
        int wrongSettings = 0; // frames ignored because the line settings differ
        int broken = 0;        // frames dropped for a bad CRC, foreign address or garbage
        int stalls = 0;        // stalls begun
    };

    GatewaySimulator(std::unique_ptr<GatewayLine> line, const Options &options,
                     QObject *parent = nullptr);
    // A gateway working on a model shared with others (nullptr: a model of its own, seeded
    // from options.seed).
    GatewaySimulator(std::unique_ptr<GatewayLine> line, const Options &options,
                     std::shared_ptr<GatewayModel> model, QObject *parent = nullptr);
    ~GatewaySimulator() override;

    GatewayModel &model() { return *m_model; }
    const std::shared_ptr<GatewayModel> &sharedModel() const { return m_model; }
    FaultInjector &faults() { return m_faults; }
    GatewayLine &line() { return *m_line; }
    const Stats &stats() const { return m_stats; }
    const Options &options() const { return m_options; }
    // True while an answer is being prepared or sent.
    bool busy() const
    {
        return m_delayTimer.isActive() || !m_sending.isEmpty() || !m_pending.isEmpty() || !m_answers.isEmpty();
    }

    // The gateway stops reading its line for ms from now (a stall already running lasts until
    // the later of the two ends). What arrives meanwhile waits on the line; then it is read at
    // once and every request in it answered in order. Answers already due still go out.
    void stall(int ms);
    bool stalled() const { return m_stallTimer.isActive(); }

    // A silent gateway takes every request off its line and answers none of them, writes
    // included. Answers already under way still go out.
    void setSilent(bool silent) { m_silent = silent; }
    bool silent() const { return m_silent; }

    // Every complete request, with the moment its first byte arrived (steady clock, ns): a
    // benchmark times the master's requests with it. May be unset.
    std::function<void(const QByteArray &frame, qint64 arrivedNs)> OnRequest;
    // What the gateway does with a request a test singles out: answer it as usual, refuse it
    // with exception 04, stay silent, or answer with one bit flipped in its data (its CRC then
    // fails). May be unset.
    enum class Fate { Answer, Refuse, Ignore, Corrupt };
    std::function<Fate(const QByteArray &frame)> RequestFate;
    // Every stall begun (or lengthened), with its length. May be unset.
    std::function<void(int ms)> OnStall;

private:
    void onReadyRead();
    void takeFrames();
    void processFrame(const QByteArray &frame);
    void onSilence();
    void startSending();
    void sendDue();
    void nextAnswer();
    void endStall();

    std::unique_ptr<GatewayLine> m_line;
    Options m_options;
    std::shared_ptr<GatewayModel> m_model;
    ModbusSlave m_slave;
    FaultInjector m_faults;
    Stats m_stats;
    bool m_silent = false;

    QByteArray m_rx;
    QTimer m_silenceTimer; // a frame of unknown length ends when the line goes quiet
    QTimer m_delayTimer;   // the answer delay, and the hold of a late answer
    QTimer m_paceTimer;    // sends the due part of the answer
    QTimer m_clockTimer;   // lets the model's time pass
    QTimer m_stallTimer;   // runs while the gateway does not read its line
    QTimer m_stallPeriod;  // starts the periodic stalls

    struct Answer
    {
        QList<QByteArray> pieces;
        int holdMs = 0; // how much later than its usual moment it goes out
    };
    QList<Answer> m_answers;     // answers not yet begun, in request order
    QList<QByteArray> m_pending; // pieces of the answer going out now still to send
    QByteArray m_sending;        // the piece on the line now
    qint64 m_sentOfPiece = 0;
    QElapsedTimer m_pieceClock;
    qint64 m_frameStartNs = 0;
};
