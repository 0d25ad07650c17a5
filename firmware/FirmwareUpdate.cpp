#include "FirmwareUpdate.h"

#include "BlockContent.h"
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
// The read of the service block: 8 bytes out, 120 registers back. It is the longest exchange
// of the update.
constexpr int kReadFrameLength = 8;
constexpr int kReadRegisters = 120;
constexpr int kReadAnswerLength = 5 + 2 * kReadRegisters;
} // namespace

FirmwareUpdate::FirmwareUpdate(TAfComPort &port, QObject *parent)
    : QObject(parent), m_port(port), m_answerDelayMs(TModbusKomunikator::UnknownAnswerDelayMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(IdleIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { ErrorGuard::run([this] { Tick(); }); });
    m_steady.start();
    // Bytes are sorted as they come: only then is it known whether a frame was outstanding.
    m_port.OnDataRecived = [this](TAfComPort *, int) { takeArrivals(); };
}

FirmwareUpdate::~FirmwareUpdate()
{
    m_port.OnDataRecived = nullptr;
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
    m_heldAnswer.clear();
    m_retried = false;
    m_needQuiet = false;
    m_oldBurst = false;
    m_oldBursts = 0;
    m_doubtfulAnswers = 0;
    restartQuietClock();
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
    if (m_port.isActive() && takeArrivals()) {
        if (m_expected.expectsAnswer()) {
            if (const int wait = answerWaitMs(); wait > 0)
                return wait;
            frameFailed(Failure::NoAnswer);
        }
        if (!m_heldAnswer.isEmpty()) {
            // The answer to a frame sent more than once counts once the earlier send's answer
            // had its time to show itself.
            if (const int wait = QuietWaitMs(); wait > 0)
                return wait;
            takeAnswer();
        }
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
    // The tick comes one timer interval after the last; the clocks cover ticks that came late.
    m_sinceSent.add(m_timer.interval());
    m_sinceActivity.add(m_timer.interval());
    if (m_port.isActive() && takeArrivals()) {
        if (m_expected.expectsAnswer()) {
            if (const int wait = answerWaitMs(); wait > 0) {
                m_timer.setInterval(wait);
                return;
            }
            frameFailed(Failure::NoAnswer);
        }
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
    // Never talk into bytes still coming, nor send before a late answer had its chance to
    // show itself: it could be taken for the next frame's.
    if (const int quiet = QuietWaitMs(); quiet > 0) {
        m_timer.setInterval(quiet);
        return;
    }

    if (m_step != Idle && m_replyState == Confirmed) {
        m_timer.setInterval(BusyIntervalMs);
        stepAction();
        return;
    }
    // Nothing confirmed the last frame: ask for the service block, and send the last step
    // frame again once an answer comes. The position goes back to that frame, however many
    // reads went unanswered since.
    takeAnswer(); // an idle read's answer
    m_timer.setInterval(IdleIntervalMs);
    if (m_step != Idle && m_replyState != Confirmed) {
        if (m_lastFrame == Frame::Erase) {
            if (m_step != Erasing && OnProgressText)
                OnProgressText(QStringLiteral("Clearing memory..."));
            // Also when the last page's erase was in doubt after the erase had been counted done.
            m_step = Erasing;
            m_erasePage = uint16_t(m_frameAt);
        } else if (m_lastFrame == Frame::Data) {
            m_readPos = m_frameAt;
        }
    }
    send(readFrame(), Frame::Read);
}

bool FirmwareUpdate::takeArrivals()
{
    QByteArray bytes;
    try {
        const int waiting = m_port.bytesWaiting();
        if (waiting > 0) {
            bytes.resize(waiting);
            m_port.read(bytes.data(), waiting);
        }
    } catch (const ComPortError &) {
        m_port.close();
        m_timeoutCount = PortErrorTimeoutCount;
        return false;
    }
    if (bytes.isEmpty())
        return true;
    restartQuietClock();
    if (!m_expected.expectsAnswer()) {
        strayBytes();
        return true;
    }
    m_received.append(bytes);
    // Noise without end must not grow the buffer: an answer is at most one frame.
    constexpr qsizetype kKeep = 256;
    if (m_received.size() > 2 * kKeep)
        m_received.remove(0, m_received.size() - kKeep);
    settleAnswer();
    return true;
}

int FirmwareUpdate::answerWaitMs() const
{
    if (!m_expected.expectsAnswer())
        return 0;
    // Both frames and the quiet between them on the line, the gateway's answer delay, and what
    // a USB adapter, the system and a network in between hold back.
    const qint64 timeout = m_expected.exchangeOnLineMs(m_port.lineSettings().charTimeUs()) + m_answerDelayMs
                           + TModbusKomunikator::AnswerMarginMs + m_port.answerAllowanceMs();
    const qint64 elapsed = m_sinceSent.elapsedMs(m_steady.elapsed());
    return elapsed < timeout ? int(timeout - elapsed) : 0;
}

int FirmwareUpdate::QuietLineMs() const
{
    return AnswerMatcher::onLineMs(kReadFrameLength + kReadAnswerLength + 3.5, m_port.lineSettings().charTimeUs())
           + m_answerDelayMs + TModbusKomunikator::AnswerMarginMs + m_port.answerAllowanceMs();
}

int FirmwareUpdate::QuietWaitMs() const
{
    if (!m_needQuiet)
        return 0;
    const qint64 quiet = m_sinceActivity.elapsedMs(m_steady.elapsed());
    return int(std::max<qint64>(0, QuietLineMs() - quiet));
}

void FirmwareUpdate::restartQuietClock()
{
    m_sinceActivity.restart(m_steady.elapsed(), intervalRunMs());
}

qint64 FirmwareUpdate::intervalRunMs() const
{
    // Ticks add whole intervals: the part of the running one already gone does not count.
    return m_timer.isActive() ? std::max(0, m_timer.interval() - m_timer.remainingTime()) : 0;
}

void FirmwareUpdate::settleAnswer()
{
    const AnswerMatcher::Match match = m_expected.find(m_received);
    if (match.verdict == AnswerMatcher::Verdict::Waiting)
        return;
    // The frame's fate is decided: whatever comes from now on was not asked for.
    const AnswerMatcher expected = std::exchange(m_expected, AnswerMatcher());
    const QByteArray received = std::exchange(m_received, {});
    const QByteArray frame = received.mid(match.offset, match.length);
    const bool behind = received.size() > match.offset + match.length;
    switch (match.verdict) {
    case AnswerMatcher::Verdict::Answer:
        if (expected.isRead()) {
            if (!BlockContent::plausible(ServiceRegs::Start, BlockContent::registersOf(frame))) {
                frameFailed(Failure::Implausible);
                break;
            }
        }
        // Held until the next frame goes out: bytes behind it would put it in doubt.
        m_heldAnswer = frame;
        m_replyState = Confirmed;
        // The earlier send's answer may still follow an answer to a frame sent again.
        m_needQuiet = m_retried;
        break;
    case AnswerMatcher::Verdict::Exception:
        frameFailed(Failure::Refused, uint8_t(frame[2]));
        break;
    default:
        // Another slave's answer, or a read answer with a wrong CRC: it confirms nothing.
        frameFailed(Failure::Broken);
        break;
    }
    if (behind)
        strayBytes();
}

void FirmwareUpdate::strayBytes()
{
    m_needQuiet = true;
    if (!m_heldAnswer.isEmpty()) {
        // The answer may be the first of a queue of late ones: it confirms nothing.
        m_oldBurst = true;
        ++m_doubtfulAnswers;
        frameFailed(Failure::Doubtful);
        return;
    }
    if (!std::exchange(m_oldBurst, true))
        ++m_oldBursts;
}

void FirmwareUpdate::frameFailed(Failure why, uint8_t exceptionCode)
{
    m_expected = AnswerMatcher();
    m_received.clear();
    m_heldAnswer.clear();
    m_replyState = NothingPending;
    m_needQuiet = true;
    m_timeoutCount = std::min(m_timeoutCount + 1, MaxTimeoutCount);
    if (m_lastFrame == Frame::Erase || m_lastFrame == Frame::Data) {
        ++m_stepFailures;
        m_failedErase = m_lastFrame == Frame::Erase;
        if (why == Failure::Refused) {
            ++m_stepRefusals;
            m_exceptionCode = exceptionCode;
        }
    }
    if (!OnStatus)
        return;
    switch (why) {
    case Failure::NoAnswer:
    case Failure::Broken:
        OnStatus(QStringLiteral("Timeout"), Colour::Red);
        break;
    case Failure::Refused:
        OnStatus(QStringLiteral("Gateway refused the frame (exception %1)").arg(exceptionCode), Colour::Red);
        break;
    case Failure::Implausible:
        OnStatus(QStringLiteral("Answer with settings out of range"), Colour::Red);
        break;
    case Failure::Doubtful:
        OnStatus(QStringLiteral("Answer followed by more bytes"), Colour::Red);
        break;
    }
}

void FirmwareUpdate::takeAnswer()
{
    if (m_heldAnswer.isEmpty())
        return;
    const QByteArray answer = std::exchange(m_heldAnswer, {});
    if (m_lastFrame == Frame::Read) {
        // The read starts at register 1000: the firmware version, and further on the answer
        // delays the next frames must allow for.
        const BlockContent::Registers service = BlockContent::registersOf(answer);
        m_answerDelayMs = BlockContent::answerDelayMs(service);
        if (OnVersion)
            OnVersion(QStringLiteral("Gateway FW version: %1")
                          .arg(ChannelText::FormatVersion(service[size_t(ServiceRegs::offset(ServiceRegs::FirmwareVersion))])));
    } else if (m_lastFrame == Frame::Erase) {
        m_erasedUpTo = uint16_t(m_frameAt);
    } else if (m_lastFrame == Frame::Data) {
        m_writtenBytes = std::clamp(m_frameAt + ChunkSize, 0, m_image.ImageLength());
    }
    if (m_lastFrame == Frame::Erase || m_lastFrame == Frame::Data) {
        m_stepFailures = 0;
        m_stepRefusals = 0;
    }
    if (OnStatus)
        OnStatus(QStringLiteral("Communication OK"), Colour::Green);
}

void FirmwareUpdate::stepAction()
{
    switch (m_step) {
    case Erasing:
        if (m_erasePage > LastPage) {
            // The last page's erase is confirmed. Its answer is taken with the first data frame:
            // should bytes follow it before then, that page is erased again.
            m_step = Erased;
            showProgress(kErasedProgress);
            if (OnProgressText)
                OnProgressText(QStringLiteral("Memory erased. (%1)").arg(ElapsedText()));
            return;
        }
        takeAnswer();
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
        takeAnswer();
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
    // A frame that went before without being confirmed may get that send's answer too: a read
    // after an unconfirmed read, a step frame after a failure of its own.
    m_retried = kind == Frame::Read ? m_lastFrame == Frame::Read && m_replyState != Confirmed : m_stepFailures > 0;
    m_received.clear();
    m_heldAnswer.clear();
    m_expected = AnswerMatcher(frame);
    m_sinceSent.restart(m_steady.elapsed(), intervalRunMs());
    m_port.write(frame.constData(), int(frame.size()));
    m_replyState = Pending;
    m_lastFrame = kind;
    // The wait for a quiet line is over; what comes from now on is this frame's.
    m_needQuiet = false;
    m_oldBurst = false;
    restartQuietClock();
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
