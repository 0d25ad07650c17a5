#include "FirmwareUpdate.h"

#include "ChannelText.h"
#include "ComPortError.h"
#include "ErrorGuard.h"
#include "ModbusCrc.h"
#include "RegisterMap.h"
#include "TAfComPort.h"
#include "TModbusKomunikator.h"

#include <QFileInfo>
#include <algorithm>

namespace {
constexpr int kMaxTxCount = 1000000;
constexpr int kErasedProgress = 32;
constexpr int kEraseProgressLimit = 31;
constexpr int kDataProgressLimit = 1000;
} // namespace

FirmwareUpdate::FirmwareUpdate(TAfComPort &port, QObject *parent)
    : QObject(parent), m_port(port), m_answerDelayMs(TModbusKomunikator::UnknownAnswerDelayMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(IdleIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { ErrorGuard::run([this] { Tick(); }); });
}

void FirmwareUpdate::setFirstInterval(qint32 baud)
{
    m_timer.setInterval(baud > 0 ? std::max(4800000 / baud, IdleIntervalMs) : IdleIntervalMs);
}

void FirmwareUpdate::ResetCounters()
{
    m_txCount = 0;
    m_timeoutCount = 0;
    m_stepFailures = 0;
    m_stepRefusals = 0;
    m_replyState = NothingPending;
    m_step = Idle;
    m_lastFrame = Frame::None;
    m_expected = AnswerMatcher();
    m_received.clear();
    m_answerDelayMs = TModbusKomunikator::UnknownAnswerDelayMs;
    if (OnStatus)
        OnStatus(QString(), Colour::Black);
    if (OnVersion)
        OnVersion(QString());
}

void FirmwareUpdate::StartProgramming(const QString &fileName)
{
    m_fileName = fileName;
    m_step = Erasing;
    m_erasePage = FirstPage;
    m_progressCount = 0;
    m_erasedUpTo.reset();
    m_writtenBytes = 0;
    m_stepFailures = 0;
    m_stepRefusals = 0;
    showProgress(0);
    m_startTime.start();
    if (OnProgressText)
        OnProgressText(QStringLiteral("Clearing memory..."));
    m_timer.setInterval(BusyIntervalMs);
}

void FirmwareUpdate::Cancel()
{
    m_step = Idle;
}

int FirmwareUpdate::Settle()
{
    if (m_port.isActive() && m_replyState == Pending && takeWaiting()) {
        if (const int wait = answerWaitMs(); wait > 0)
            return wait;
        checkAnswer();
    }
    Cancel();
    return 0;
}

QString FirmwareUpdate::StepFailureText() const
{
    if (m_stepFailures == 0)
        return {};
    const QString frame = m_failedErase ? QStringLiteral("the erase of page %1").arg(m_frameAt)
                                        : QStringLiteral("the data frame at byte %1").arg(m_frameAt);
    const QString exception = QString::asprintf("exception %02X", unsigned(m_exceptionCode));
    if (m_stepRefusals == m_stepFailures)
        return QStringLiteral("The gateway refused %1 %2 times in a row (%3)").arg(frame).arg(m_stepFailures).arg(exception);
    if (m_stepRefusals == 0)
        return QStringLiteral("The gateway did not answer %1 %2 times in a row").arg(frame).arg(m_stepFailures);
    return QStringLiteral("The gateway did not confirm %1 %2 times in a row (%3 refused with %4, the rest unanswered)")
        .arg(frame).arg(m_stepFailures).arg(m_stepRefusals).arg(exception);
}

QString FirmwareUpdate::ElapsedText() const
{
    const qint64 seconds = m_startTime.isValid() ? m_startTime.elapsed() / 1000 : 0;
    return QString::asprintf("%.f s", double(seconds));
}

void FirmwareUpdate::Tick()
{
    // The tick comes one timer interval after the last; the clock covers ticks that came late.
    m_sinceSentMs += m_timer.interval();
    if (m_port.isActive() && takeWaiting()) {
        if (const int wait = answerWaitMs(); wait > 0) {
            m_timer.setInterval(wait);
            return;
        }
        checkAnswer();
        if (m_step != Idle && m_stepFailures >= MaxStepFailures) {
            // The gateway will not take this frame: sending it again would go on for ever.
            // Nothing more is sent in this tick, and the failed frame is not waited for again.
            Cancel();
            m_replyState = NothingPending;
            if (OnGaveUp)
                OnGaveUp(StepFailureText());
            return;
        }
    }
    if (!m_port.isActive()) {
        if (OnStatus) {
            if (m_timeoutCount >= PortErrorTimeoutCount)
                OnStatus(QStringLiteral("Communication error - disconnected"), Colour::Red);
            else
                OnStatus(QStringLiteral("Disconnected"), Colour::Black);
        }
        if (OnPortClosed)
            OnPortClosed();
        if (m_step != Idle) {
            Cancel();
            if (OnPortInactive)
                OnPortInactive();
        }
        return;
    }

    if (m_step != Idle && m_replyState == Confirmed) {
        m_timer.setInterval(BusyIntervalMs);
        stepAction();
        return;
    }
    // Nothing confirmed the last frame: ask for the service block, and send that frame again
    // once an answer comes. Only a step frame is stepped back, and only once, so a lost read
    // answer never moves the position further back.
    m_timer.setInterval(IdleIntervalMs);
    if (m_step == Writing && m_lastFrame == Frame::Data) {
        m_readPos -= ChunkSize;
    } else if (m_step == Erasing && m_lastFrame == Frame::Erase) {
        --m_erasePage;
    }
    send(readFrame(), Frame::Read);
}

bool FirmwareUpdate::takeWaiting()
{
    try {
        const int waiting = m_port.bytesWaiting();
        if (waiting > 0) {
            const qsizetype at = m_received.size();
            m_received.resize(at + waiting);
            m_port.read(m_received.data() + at, waiting);
        }
    } catch (const ComPortError &) {
        m_port.close();
        m_timeoutCount = PortErrorTimeoutCount;
        return false;
    }
    // Noise without end must not grow the buffer: an answer is at most one frame.
    constexpr qsizetype kKeep = 256;
    if (m_received.size() > 2 * kKeep)
        m_received.remove(0, m_received.size() - kKeep);
    return true;
}

int FirmwareUpdate::answerWaitMs() const
{
    if (m_replyState != Pending || !m_expected.expectsAnswer()
        || m_expected.find(m_received).verdict != AnswerMatcher::Verdict::Waiting)
        return 0;
    // Both frames and the quiet between them on the line, the gateway's answer delay, and what
    // a USB adapter and the system hold back.
    const qint64 timeout = m_expected.exchangeOnLineMs(m_port.lineSettings().charTimeUs()) + m_answerDelayMs
                           + TModbusKomunikator::AnswerMarginMs;
    const qint64 elapsed = std::max(m_sinceSentMs, m_sentClock.isValid() ? m_sentClock.elapsed() : 0);
    return elapsed < timeout ? int(timeout - elapsed) : 0;
}

bool FirmwareUpdate::checkAnswer()
{
    const QByteArray received = std::exchange(m_received, {});
    const AnswerMatcher::Match match = m_expected.find(received);
    const bool stepFrame = m_replyState == Pending && (m_lastFrame == Frame::Erase || m_lastFrame == Frame::Data);
    bool refused = false;
    uint8_t exceptionCode = 0;
    if (match.verdict == AnswerMatcher::Verdict::Exception) {
        // An exception answer confirms nothing: the frame goes again as after a lost answer.
        refused = true;
        exceptionCode = uint8_t(received[match.offset + 2]);
        if (OnStatus)
            OnStatus(QStringLiteral("Gateway refused the frame (exception %1)").arg(exceptionCode), Colour::Red);
    } else if (match.verdict == AnswerMatcher::Verdict::Answer) {
        m_replyState = Confirmed;
        if (m_expected.isRead()) {
            // The read starts at register 1000: the firmware version, and further on the answer
            // delays the next frames must allow for.
            const auto reg = [&](uint16_t r) {
                const qsizetype at = match.offset + 3 + 2 * (r - ServiceRegs::Start);
                return at + 1 < match.offset + match.length - 2 ? uint16_t(uint8_t(received[at]) << 8 | uint8_t(received[at + 1])) : uint16_t(0);
            };
            m_answerDelayMs = std::min<int>(std::max(reg(ServiceRegs::Com0Delay), reg(ServiceRegs::Com1Delay)),
                                            TModbusKomunikator::MaxAnswerDelayMs);
            if (OnVersion)
                OnVersion(QStringLiteral("Gateway FW version: %1").arg(ChannelText::FormatVersion(reg(ServiceRegs::FirmwareVersion))));
        }
    }
    m_expected = AnswerMatcher();
    if (stepFrame)
        noteStepAnswer(refused, exceptionCode);

    if (m_replyState == Confirmed) {
        if (OnStatus)
            OnStatus(QStringLiteral("Communication OK"), Colour::Green);
    } else if (m_replyState == Pending) {
        if (!refused && OnStatus)
            OnStatus(QStringLiteral("Timeout"), Colour::Red);
        m_timeoutCount = std::min(m_timeoutCount + 1, MaxTimeoutCount);
    }
    return m_replyState == Confirmed;
}

void FirmwareUpdate::noteStepAnswer(bool refused, uint8_t exceptionCode)
{
    if (m_replyState == Confirmed) {
        if (m_lastFrame == Frame::Erase)
            m_erasedUpTo = uint16_t(m_frameAt);
        else
            m_writtenBytes = std::clamp(m_frameAt + ChunkSize, 0, m_image.ImageLength());
        m_stepFailures = 0;
        m_stepRefusals = 0;
        return;
    }
    ++m_stepFailures;
    m_failedErase = m_lastFrame == Frame::Erase;
    if (refused) {
        ++m_stepRefusals;
        m_exceptionCode = exceptionCode;
    }
}

void FirmwareUpdate::stepAction()
{
    switch (m_step) {
    case Erasing:
        if (m_erasePage > LastPage) {
            // The last page's erase is confirmed.
            m_step = Erased;
            showProgress(kErasedProgress);
            if (OnProgressText)
                OnProgressText(QStringLiteral("Memory erased. (%1)").arg(ElapsedText()));
            return;
        }
        send(eraseFrame(m_erasePage), Frame::Erase);
        m_frameAt = m_erasePage;
        ++m_erasePage;
        showProgress(m_progressCount);
        if (m_progressCount < kEraseProgressLimit)
            ++m_progressCount;
        return;
    case Erased:
        // No frame in this tick: the next one still finds the erase confirmed and starts the data.
        if (OnProgressText)
            OnProgressText(QStringLiteral("Loading program \"%1\"...").arg(QFileInfo(m_fileName).fileName()));
        m_readPos = 0;
        m_step = Writing;
        return;
    case Writing:
        if (m_readPos > m_image.ImageLength()) {
            // The frame past the image's end is confirmed: everything arrived.
            showProgress(ProgressMaximum());
            m_step = Idle;
            if (OnProgressText)
                OnProgressText(QStringLiteral("Memory programming done. (%1)").arg(ElapsedText()));
            if (OnDone)
                OnDone();
            return;
        }
        send(dataFrame(m_readPos), Frame::Data);
        m_frameAt = m_readPos;
        m_readPos += ChunkSize;
        showProgress(m_progressCount);
        if (m_progressCount < kDataProgressLimit)
            ++m_progressCount;
        return;
    case Idle:
        return;
    }
}

void FirmwareUpdate::send(const QByteArray &frame, Frame kind)
{
    m_received.clear();
    m_expected = AnswerMatcher(frame);
    m_sentClock.start();
    // Ticks add whole intervals: the part of the running one already gone is not the answer's.
    m_sinceSentMs = m_timer.isActive() ? std::min(0, m_timer.remainingTime() - m_timer.interval()) : 0;
    m_port.write(frame.constData(), int(frame.size()));
    m_replyState = Pending;
    m_lastFrame = kind;
    m_txCount = m_txCount >= kMaxTxCount ? 0 : m_txCount + 1;
}

void FirmwareUpdate::showProgress(int position)
{
    if (OnProgress)
        OnProgress(std::min(position, ProgressMaximum()), ProgressMaximum());
}

void FirmwareUpdate::CRC_tx(int n)
{
    const uint16_t crc = ModbusCrc::compute(TxBuffer.data() + 1, size_t(n - 1));
    TxBuffer[size_t(n)] = ModbusCrc::lowByte(crc);
    TxBuffer[size_t(n + 1)] = ModbusCrc::highByte(crc);
}

QByteArray FirmwareUpdate::readFrame()
{
    auto &tx = TxBuffer;
    const uint8_t head[] = {SlaveAddress, 0x03, 0x03, 0xE8, 0x00, 0x78};
    std::copy(std::begin(head), std::end(head), tx.begin() + 1);
    CRC_tx(7);
    return QByteArray(reinterpret_cast<const char *>(tx.data() + 1), 8);
}

QByteArray FirmwareUpdate::eraseFrame(uint16_t page)
{
    auto &tx = TxBuffer;
    const uint8_t head[] = {SlaveAddress, 0x10, 0x05, 0x60, 0x00, 0x01, 0x02, uint8_t(page >> 8), uint8_t(page)};
    std::copy(std::begin(head), std::end(head), tx.begin() + 1);
    CRC_tx(10);
    return QByteArray(reinterpret_cast<const char *>(tx.data() + 1), 11);
}

QByteArray FirmwareUpdate::dataFrame(int position)
{
    auto &tx = TxBuffer;
    // The offset field carries the low 16 bits of the chunk's position.
    const auto offset = uint16_t(position);
    const uint8_t head[] = {SlaveAddress, 0x10, 0x05, 0x5F, 0x00, 0x61, 0xC2, uint8_t(offset >> 8), uint8_t(offset)};
    std::copy(std::begin(head), std::end(head), tx.begin() + 1);
    const QByteArray &image = m_image.ImageBuffer();
    for (int i = 0; i < ChunkSize; ++i) {
        // The last chunk of a full buffer reaches past its end: those bytes are erased memory.
        const int at = position + i;
        tx[size_t(10 + i)] = at >= 0 && at < image.size() ? uint8_t(image[at]) : 0xFF;
    }
    CRC_tx(DataFrameSize - 1);
    return QByteArray(reinterpret_cast<const char *>(tx.data() + 1), DataFrameSize);
}
