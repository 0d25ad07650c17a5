#include "FirmwareUpdate.h"

#include "ChannelText.h"
#include "ComPortError.h"
#include "ErrorGuard.h"
#include "ModbusCrc.h"
#include "TAfComPort.h"

#include <QFileInfo>
#include <algorithm>

namespace {
constexpr int kMaxTxCount = 1000000;
constexpr int kErasedProgress = 32;
constexpr int kEraseProgressLimit = 31;
constexpr int kDataProgressLimit = 1000;
// The shortest Modbus answer (an exception answer): address, function, code and the CRC.
constexpr int kShortestAnswer = 5;
} // namespace

FirmwareUpdate::FirmwareUpdate(TAfComPort &port, QObject *parent) : QObject(parent), m_port(port)
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
    m_replyState = NothingPending;
    m_step = Idle;
    m_lastFrame = Frame::None;
    RxCount = 0;
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

QString FirmwareUpdate::ElapsedText() const
{
    const qint64 seconds = m_startTime.isValid() ? m_startTime.elapsed() / 1000 : 0;
    return QString::asprintf("%.f s", double(seconds));
}

void FirmwareUpdate::Tick()
{
    if (m_port.isActive())
        checkAnswer();
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

bool FirmwareUpdate::checkAnswer()
{
    QByteArray received;
    try {
        const int waiting = m_port.bytesWaiting();
        if (waiting > 0) {
            received.resize(waiting);
            m_port.read(received.data(), waiting);
        }
    } catch (const ComPortError &) {
        m_port.close();
        m_timeoutCount = PortErrorTimeoutCount;
        return false;
    }
    RxCount = 0;
    for (char c : std::as_const(received)) {
        // Bytes past the buffer's end overwrite its last position.
        RxBuffer[size_t(std::min(RxCount, RxCapacity - 1))] = uint8_t(c);
        if (RxCount < RxCapacity - 1)
            ++RxCount;
    }

    bool refused = false;
    if (RxCount >= kShortestAnswer && CRC_rx(RxCount)) {
        if (RxBuffer[1] & 0x80) {
            // An exception answer confirms nothing: the frame goes again as after a lost answer.
            refused = true;
            if (OnStatus)
                OnStatus(QStringLiteral("Gateway refused the frame (exception %1)").arg(RxBuffer[2]), Colour::Red);
        } else {
            m_replyState = Confirmed;
            // Register 1000 of a read answer is the gateway's firmware version.
            if (m_lastFrame == Frame::Read && RxBuffer[1] == 0x03 && RxCount >= 7 && OnVersion)
                OnVersion(QStringLiteral("Gateway FW version: %1")
                              .arg(ChannelText::FormatVersion(uint16_t(RxBuffer[3] << 8 | RxBuffer[4]))));
        }
    }
    RxCount = 0;

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

bool FirmwareUpdate::CRC_rx(int n) const
{
    if (n < 3 || n > RxCapacity)
        return false;
    const uint16_t crc = ModbusCrc::compute(RxBuffer.data(), size_t(n - 2));
    return RxBuffer[size_t(n - 2)] == ModbusCrc::lowByte(crc) && RxBuffer[size_t(n - 1)] == ModbusCrc::highByte(crc);
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
