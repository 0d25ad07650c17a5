#include "GatewaySimulator.h"

#include "RegisterMap.h"

#include <chrono>
#include "SimLog.h"

GatewaySimulator::GatewaySimulator(std::unique_ptr<GatewayLine> line, const Options &options,
                                   QObject *parent)
    : QObject(parent), m_line(std::move(line)), m_options(options), m_model(options.seed),
      m_slave(m_model, options.address), m_faults(options.seed)
{
    const int parity = int(options.line.parity);
    m_model.setPortSettings(options.address, options.line.baudRate, parity,
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

    connect(m_line.get(), &GatewayLine::readyRead, this, &GatewaySimulator::onReadyRead);
    connect(&m_silenceTimer, &QTimer::timeout, this, &GatewaySimulator::onSilence);
    connect(&m_delayTimer, &QTimer::timeout, this, &GatewaySimulator::startSending);
    connect(&m_paceTimer, &QTimer::timeout, this, &GatewaySimulator::sendDue);
    connect(&m_clockTimer, &QTimer::timeout, this, [this] { m_model.advance(1000); });
    if (options.clock)
        m_clockTimer.start();
}

GatewaySimulator::~GatewaySimulator() = default;

void GatewaySimulator::onReadyRead()
{
    const QByteArray bytes = m_line->readAll();
    if (bytes.isEmpty())
        return;
    if (m_rx.isEmpty())
        m_frameStartNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
    m_rx.append(bytes);
    takeFrames();
    if (!m_rx.isEmpty())
        m_silenceTimer.start();
}

void GatewaySimulator::takeFrames()
{
    while (!m_rx.isEmpty()) {
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
    if (m_rx.isEmpty())
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
    const QByteArray answer = fate == Fate::Refuse ? m_slave.exception(uint8_t(frame[1]), 0x04)
                              : dataFrame && m_faults.refuse() ? m_slave.exception(0x10, 0x04)
                                                               : m_slave.handle(frame);
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
    const QList<QByteArray> pieces =
        uint8_t(answer[1]) == 0x03 || firmwareWrite ? m_faults.apply(answer) : QList<QByteArray>{answer};
    m_pending.append(pieces);
    if (!m_delayTimer.isActive() && m_sending.isEmpty()) {
        const int delay = m_model.answerDelayMs();
        if (delay > 0 || m_options.paced)
            m_delayTimer.start(delay);
        else
            startSending();
    }
}

void GatewaySimulator::startSending()
{
    if (!m_options.paced) {
        // Each piece goes out as one write, so the tool sees it as a separate arrival.
        const QList<QByteArray> pieces = std::exchange(m_pending, {});
        for (const QByteArray &piece : pieces)
            m_line->write(piece);
        return;
    }
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
    }
}
