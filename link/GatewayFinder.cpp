#include "GatewayFinder.h"

#include "ModbusCrc.h"
#include "RegisterMap.h"
#include "TModbusKomunikator.h"

#include <cmath>

namespace {

constexpr uint8_t kRead = 0x03;

QByteArray versionRequest(int address)
{
    const char request[] = {char(address), char(kRead), char(ServiceRegs::FirmwareVersion >> 8),
                            char(ServiceRegs::FirmwareVersion & 0xFF), 0, 1};
    return ModbusCrc::appended(QByteArray(request, sizeof request));
}

} // namespace

uint16_t GatewayFinder::Find::version() const
{
    if (refused || answer.size() < 5)
        return 0;
    return uint16_t(uint8_t(answer[3]) << 8 | uint8_t(answer[4]));
}

GatewayFinder::GatewayFinder(TAfComPort &port, Options options, QObject *parent)
    : QObject(parent), m_port(port), m_options(std::move(options))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &GatewayFinder::onTimer);
}

GatewayFinder::~GatewayFinder()
{
    if (m_started && m_outcome == Outcome::Running) {
        m_port.OnDataRecived = std::move(m_ownerData);
        m_port.OnClosed = std::move(m_ownerClosed);
    }
}

QList<qint32> GatewayFinder::commonFirst()
{
    return {9600, 19200, 115200, 38400, 57600, 4800, 2400, 1200, 14400, 28800, 76800, 230400, 56000, 128000, 7200, 1800};
}

int GatewayFinder::probeTimeoutMs(const LineSettings &line)
{
    // The gateway's answer delay is not known before it answered: it may be set up to 200 ms.
    return AnswerMatcher(versionRequest(1)).exchangeOnLineMs(line.charTimeUs()) + TModbusKomunikator::UnknownAnswerDelayMs
           + TModbusKomunikator::AnswerMarginMs;
}

int GatewayFinder::quietMs(const LineSettings &line)
{
    return int(std::ceil(3.5 * double(line.charTimeUs()) / 1000.0)) + TModbusKomunikator::AnswerMarginMs;
}

qsizetype GatewayFinder::toTry() const
{
    const qsizetype speeds = m_options.speeds.size();
    const qsizetype after = total() - qMax<qsizetype>(m_pair + 1, 0);
    if (!m_lineSpeed || speeds == 0)
        return after;
    // One pair for each address still to come.
    const qsizetype address = qMax<qsizetype>(m_pair, 0) / speeds;
    return m_options.addresses.size() - address - 1;
}

void GatewayFinder::start()
{
    if (running())
        return;
    m_started = true;
    m_outcome = Outcome::Running;
    m_state = State::Idle;
    m_pair = -1;
    m_tried = 0;
    m_finds.clear();
    m_lineSpeed.reset();
    m_portError.reset();
    m_lostReason.clear();
    m_lost = false;
    m_elapsedMs = 0;
    m_ownerData = std::exchange(m_port.OnDataRecived, [this](TAfComPort *, int) { onData(); });
    // Not finished from inside the port's own handler: it is still closing.
    m_ownerClosed = std::exchange(m_port.OnClosed, [this](TAfComPort *, const QString &reason) {
        m_lostReason = reason;
        m_lost = true;
        m_timer.start(0);
    });
    m_sinceByte.start();
    m_clock.start();
    // The first probe goes out from the event loop, so whoever started the search has
    // connected to its signals and returned first.
    m_state = State::Starting;
    m_confirming = false;
    m_timer.start(0);
}

void GatewayFinder::cancel()
{
    if (running())
        finish(Outcome::Cancelled);
}

void GatewayFinder::nextPair()
{
    const qsizetype speeds = m_options.speeds.size();
    while (++m_pair < total()) {
        const qint32 baud = m_options.speeds[m_pair % speeds];
        if (m_lineSpeed && baud != *m_lineSpeed)
            continue;
        m_baud = baud;
        m_address = m_options.addresses[m_pair / speeds];
        m_confirming = false;
        emit probing(m_baud, m_address, m_tried, total());
        if (running())
            beginProbe();
        return;
    }
    finish(Outcome::Completed);
}

void GatewayFinder::beginProbe()
{
    if (m_lost)
        return; // the loss ends the search from the event loop
    try {
        m_port.setUserBaudRate(m_baud);
    } catch (const ComPortError &e) {
        failPort(e);
        return;
    }
    const LineSettings &line = m_port.lineSettings();
    m_timeoutMs = m_options.timeoutMs.value_or(probeTimeoutMs(line) + m_port.answerAllowanceMs());
    m_quietMs = quietMs(line) + m_port.answerAllowanceMs();
    // Whatever an earlier probe stirred up (a late answer, bytes garbled by the change of
    // speed) is over before this probe goes out; a line that never goes quiet is given up on
    // after the probe's own time (its answer must still match the probe).
    m_state = State::Quieting;
    m_quietWaited.start();
    takeBytes();
    if (m_state == State::Quieting)
        checkQuiet();
}

void GatewayFinder::checkQuiet()
{
    const qint64 left = m_quietMs - m_sinceByte.elapsed();
    if (left > 0 && m_quietWaited.elapsed() < m_timeoutMs) {
        m_timer.start(int(left));
        return;
    }
    send();
}

void GatewayFinder::send()
{
    m_received.clear();
    const QByteArray request = versionRequest(m_address);
    m_expected = AnswerMatcher(request);
    m_state = State::Listening;
    try {
        m_port.write(request.constData(), int(request.size()));
    } catch (const ComPortError &e) {
        failPort(e);
        return;
    }
    m_timer.start(m_timeoutMs);
}

void GatewayFinder::onTimer()
{
    if (m_lost) {
        finish(Outcome::PortLost);
        return;
    }
    switch (m_state) {
    case State::Starting:
        nextPair();
        break;
    case State::Quieting:
        checkQuiet();
        break;
    case State::Listening:
    case State::Answered:
        probeOver();
        break;
    case State::Failed:
        finish(Outcome::PortFailed);
        break;
    case State::Idle:
        break;
    }
}

void GatewayFinder::onData()
{
    if (!running() || m_lost || m_state == State::Failed)
        return;
    takeBytes();
    // Taken up from the event loop: the port is still inside its data event.
    if (m_state == State::Listening && answerComplete()) {
        m_state = State::Answered;
        m_timer.start(0);
    }
}

void GatewayFinder::takeBytes()
{
    if (!m_port.isActive())
        return;
    const int waiting = m_port.bytesWaiting();
    if (waiting <= 0)
        return;
    QByteArray bytes(waiting, Qt::Uninitialized);
    try {
        m_port.read(bytes.data(), waiting);
    } catch (const ComPortError &e) {
        failPort(e);
        return;
    }
    m_sinceByte.restart();
    if (m_state == State::Listening)
        m_received.append(bytes);
    // Otherwise not this probe's: dropped.
}

bool GatewayFinder::answerComplete() const
{
    // Only the asked address's answer to this read counts, wherever noise puts it: a late
    // answer from the previous probe names another address.
    const AnswerMatcher::Verdict verdict = m_expected.find(m_received).verdict;
    return verdict == AnswerMatcher::Verdict::Answer || verdict == AnswerMatcher::Verdict::Exception;
}

void GatewayFinder::probeOver()
{
    std::optional<QByteArray> answer;
    bool refused = false;
    const AnswerMatcher::Match match = m_expected.find(m_received);
    if (match.verdict == AnswerMatcher::Verdict::Answer || match.verdict == AnswerMatcher::Verdict::Exception) {
        answer = m_received.mid(match.offset, match.length);
        refused = match.verdict == AnswerMatcher::Verdict::Exception;
    }
    m_state = State::Idle;
    m_received.clear();
    if (!m_confirming) {
        ++m_tried;
        if (!answer) {
            nextPair();
            return;
        }
        // A stranger's frame that happens to fit, or an answer that came late from another
        // speed, does not answer a second time: only what does is reported.
        m_confirming = true;
        emit confirming(m_baud, m_address);
        if (running())
            beginProbe();
        return;
    }
    m_confirming = false;
    if (answer) {
        m_lineSpeed = m_baud;
        Find find;
        find.baud = m_baud;
        find.address = m_address;
        find.answer = *answer;
        find.refused = refused;
        m_finds.append(find);
        emit found(find);
        if (!running())
            return;
    }
    nextPair();
}

void GatewayFinder::failPort(const ComPortError &error)
{
    // Ended from the event loop: the port may be inside its own data event. A port that went
    // away fails every write: the loss is the cause.
    if (m_lost)
        return;
    m_portError = error;
    m_state = State::Failed;
    m_timer.start(0);
}

void GatewayFinder::finish(Outcome outcome)
{
    m_timer.stop();
    m_state = State::Idle;
    m_outcome = outcome;
    m_elapsedMs = m_clock.elapsed();
    m_port.OnDataRecived = std::move(m_ownerData);
    m_port.OnClosed = std::move(m_ownerClosed);
    m_ownerData = nullptr;
    m_ownerClosed = nullptr;
    emit finished();
}
