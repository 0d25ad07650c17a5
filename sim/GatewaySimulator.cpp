#include "GatewaySimulator.h"

#include "RegisterMap.h"

#include <chrono>
#include "SimLog.h"

GatewaySimulator::GatewaySimulator(std::unique_ptr<GatewayLine> line, const Options &options,
                                   QObject *parent)
    : GatewaySimulator(std::move(line), options, nullptr, parent)
{
}

GatewaySimulator::GatewaySimulator(std::unique_ptr<GatewayLine> line, const Options &options,
                                   std::shared_ptr<GatewayModel> model, QObject *parent)
    : QObject(parent), m_line(std::move(line)), m_options(options),
      m_model(model ? std::move(model) : std::make_shared<GatewayModel>(options.seed)),
      m_slave(*m_model, options.address), m_faults(options.seed)
{
    const int parity = int(options.line.parity);
    m_model->setPortSettings(options.address, options.line.baudRate, parity,
                            options.line.stopBits == TStopBits::sbTwo ? 2 : 1);

    // Modbus ends a frame after 3.5 quiet characters; a pseudo-terminal delivers at memory
    // speed, so a few milliseconds more are allowed for the scheduler.
    m_silenceTimer.setSingleShot(true);
    m_silenceTimer.setInterval(int(qMax<qint64>(5, 4 * options.line.charTimeUs() / 1000 + 5)));
    m_delayTimer.setSingleShot(true);
    m_delayTimer.setTimerType(Qt::PreciseTimer);
    m_paceTimer.setInterval(2);
    m_paceTimer.setTimerType(Qt::PreciseTimer);
    m_clockTimer.setInterval(1000);
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setTimerType(Qt::PreciseTimer);

    connect(m_line.get(), &GatewayLine::readyRead, this, &GatewaySimulator::onReadyRead);
    connect(&m_silenceTimer, &QTimer::timeout, this, &GatewaySimulator::onSilence);
    connect(&m_delayTimer, &QTimer::timeout, this, &GatewaySimulator::startSending);
    connect(&m_paceTimer, &QTimer::timeout, this, &GatewaySimulator::sendDue);
    connect(&m_clockTimer, &QTimer::timeout, this, [this] { m_model->advance(1000); });
    connect(&m_stallTimer, &QTimer::timeout, this, &GatewaySimulator::endStall);
    connect(&m_stallPeriod, &QTimer::timeout, this, [this] { stall(m_options.stallMs); });
    if (options.clock)
        m_clockTimer.start();
    if (options.stallMs > 0 && options.stallEveryMs > 0)
        m_stallPeriod.start(options.stallEveryMs);
}

GatewaySimulator::~GatewaySimulator() = default;

void GatewaySimulator::stall(int ms)
{
    if (ms <= 0)
        return;
    if (!m_stallTimer.isActive()) {
        ++m_stats.stalls;
        m_line->holdReading(true);
        // A frame half read when the stall began goes on once the rest is read, not now.
        m_silenceTimer.stop();
    }
    m_stallTimer.start(qMax(ms, m_stallTimer.isActive() ? m_stallTimer.remainingTime() : 0));
    qCDebug(lcSim) << "stall" << ms << "ms";
    if (OnStall)
        OnStall(ms);
}

void GatewaySimulator::endStall()
{
    m_line->holdReading(false);
    // Everything that waited is read at once, and its requests are answered one by one.
    onReadyRead();
    takeFrames();
    if (!m_rx.isEmpty() && !m_silenceTimer.isActive())
        m_silenceTimer.start();
}

void GatewaySimulator::onReadyRead()
{
    if (m_stallTimer.isActive())
        return; // the bytes wait on the line until the stall ends
    const QByteArray bytes = m_line->readAll();
    if (bytes.isEmpty())
        return;
    if (m_rx.isEmpty())
        m_frameStartNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
    m_rx.append(bytes);
    takeFrames();
    if (!m_rx.isEmpty() && !stalled())
        m_silenceTimer.start();
}

void GatewaySimulator::takeFrames()
{
    // A stall begun by a request (a test's hook) leaves the frames behind it for later.
    while (!m_rx.isEmpty() && !stalled()) {
        const int length = ModbusSlave::expectedLength(m_rx);
        if (length <= 0 || m_rx.size() < length)
            return; // wait for the rest, or for the line to go quiet
        const QByteArray frame = m_rx.left(length);
        m_rx.remove(0, length);
        processFrame(frame);
    }
}

void GatewaySimulator::onSilence()
{
    // Whatever is left when the line goes quiet is one frame: an unknown function, or bytes
    // that never made a whole request.
    if (m_rx.isEmpty() || stalled())
        return;
    const QByteArray frame = std::exchange(m_rx, {});
    processFrame(frame);
}

void GatewaySimulator::processFrame(const QByteArray &frame)
{
    ++m_stats.frames;
    if (OnRequest)
        OnRequest(frame, m_frameStartNs);
    // A two-wire adapter hears its own request as it goes out, before any answer.
    if (m_options.echo)
        m_line->write(frame);
    qCDebug(lcSim).noquote() << "request" << frame.toHex(' ').toUpper();
    if (m_silent)
        return;
    bool parityKnown = false;
    const LineSettings tool = m_line->toolSettings(&parityKnown);
    if (tool.baudRate != m_options.line.baudRate || tool.stopBits != m_options.line.stopBits
        || (parityKnown && tool.parity != m_options.line.parity)) {
        // On a real line the gateway would see only garbage.
        ++m_stats.wrongSettings;
        qCDebug(lcSim) << "silent: the request came at" << tool.baudRate << "Bd";
        m_rx.clear();
        return;
    }
    // A firmware data frame: write multiple registers from the chunk's offset register.
    const bool firmwareWrite = frame.size() >= 4 && uint8_t(frame[1]) == 0x10
                               && (uint8_t(frame[2]) << 8 | uint8_t(frame[3])) >= FirmwareRegs::ChunkOffset;
    const bool dataFrame = firmwareWrite && (uint8_t(frame[2]) << 8 | uint8_t(frame[3])) == FirmwareRegs::ChunkOffset;
    const Fate fate = RequestFate && frame.size() >= 2 ? RequestFate(frame) : Fate::Answer;
    if (fate == Fate::Ignore)
        return;
    QByteArray answer = fate == Fate::Refuse ? m_slave.exception(uint8_t(frame[1]), 0x04)
                        : dataFrame && m_faults.refuse() ? m_slave.exception(0x10, 0x04)
                                                         : m_slave.handle(frame);
    if (fate == Fate::Corrupt && answer.size() > 5)
        answer[4] = char(answer[4] ^ 0x01);
    if (answer.isEmpty()) {
        ++m_stats.broken;
        qCDebug(lcSim) << "silent: broken frame, another slave's address or a broadcast";
        // A broken frame leaves the receiver out of step; start afresh with the next bytes.
        if (frame.size() < 4 || ModbusSlave::expectedLength(frame) != frame.size())
            m_rx.clear();
        return;
    }
    ++m_stats.answered;
    // Faults are applied to read answers and to the firmware update's answers: those are the
    // ones the tool checks.
    QList<QByteArray> pieces =
        uint8_t(answer[1]) == 0x03 || firmwareWrite ? m_faults.apply(answer) : QList<QByteArray>{answer};
    if (pieces.isEmpty())
        return; // dropped: nothing to send
    const bool idle = !busy();
    // Any answer may be late, a spoiled one too.
    m_answers.append({std::move(pieces), m_faults.late() ? m_faults.rates().lateMs : 0});
    if (idle) {
        const int delay = m_model->answerDelayMs() + m_answers.first().holdMs;
        if (delay > 0 || m_options.paced)
            m_delayTimer.start(delay);
        else
            startSending();
    }
}

// The answer at the head of the queue goes out now: its delay or hold is over.
void GatewaySimulator::startSending()
{
    if (m_answers.isEmpty() && m_pending.isEmpty() && m_sending.isEmpty())
        return;
    if (!m_options.paced) {
        // Each piece goes out as one write, so the tool sees it as a separate arrival. The
        // answers behind follow at once, up to one that is held back.
        do {
            for (const QByteArray &piece : m_answers.takeFirst().pieces)
                m_line->write(piece);
        } while (!m_answers.isEmpty() && m_answers.first().holdMs == 0);
        if (!m_answers.isEmpty())
            m_delayTimer.start(m_answers.first().holdMs);
        return;
    }
    if (m_sending.isEmpty() && m_pending.isEmpty() && !m_answers.isEmpty())
        m_pending = m_answers.takeFirst().pieces;
    if (m_sending.isEmpty() && !m_pending.isEmpty()) {
        m_sending = m_pending.takeFirst();
        m_sentOfPiece = 0;
        m_pieceClock.start();
    }
    if (!m_sending.isEmpty()) {
        sendDue();
        if (!m_sending.isEmpty())
            m_paceTimer.start();
    }
}

void GatewaySimulator::sendDue()
{
    if (m_sending.isEmpty()) {
        m_paceTimer.stop();
        return;
    }
    const qint64 charUs = qMax<qint64>(1, m_options.line.charTimeUs());
    // The first character is complete after one character time.
    const qint64 due = qMin<qint64>(m_sending.size(), m_pieceClock.nsecsElapsed() / 1000 / charUs + 1);
    if (due > m_sentOfPiece) {
        m_line->write(m_sending.mid(m_sentOfPiece, due - m_sentOfPiece));
        m_sentOfPiece = due;
    }
    if (m_sentOfPiece >= m_sending.size()) {
        m_sending.clear();
        m_paceTimer.stop();
        if (!m_pending.isEmpty())
            startSending();
        else
            nextAnswer();
    }
}

// The answer behind the one just sent follows at once, or after its hold when it is late.
void GatewaySimulator::nextAnswer()
{
    if (m_answers.isEmpty())
        return;
    if (m_answers.first().holdMs > 0)
        m_delayTimer.start(m_answers.first().holdMs);
    else
        startSending();
}
