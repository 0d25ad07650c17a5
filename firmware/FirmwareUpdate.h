#pragma once

#include "AnswerMatcher.h"
#include "FirmwareImage.h"
#include "SinceClock.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>

class TAfComPort;

// Writing a new program into the gateway over Modbus, one frame per tick of its own timer: the
// erase of pages 32 to 62 (one register write each), then the image in data frames of 192
// bytes with their 16-bit offset, each frame only after the previous one was confirmed. A frame
// that is not confirmed (no answer, a broken one, or an exception answer) is sent again after
// the next valid answer to a read of the service block, which is also what the idle link
// sends every 500 ms. A frame is confirmed only by the gateway's answer to it (address,
// function and fields, then the CRC), found behind any noise. A tick whose frame's answer is
// still on its way (slow line, long answer delay) waits for it instead of sending over it.
// The same erase or data frame refused or unanswered MaxStepFailures times in a row ends the
// programming. What the gateway confirmed (erased pages, written bytes) is kept apart from what
// was sent, so a stopped update can say what the gateway is left with.
//
// Modbus RTU answers carry no request number, and every erase answer (like every data answer)
// looks the same, so only timing tells which frame an answer belongs to:
// - an answer counts only while its frame is outstanding: bytes that come while none is (a
//   late answer, a stalled adapter or gateway emptying its queue) are old and dropped;
// - an answer is taken (the account moves on, the next frame may follow) only when the next
//   frame goes out or the update ends with nothing behind it: bytes that follow it put it in
//   doubt (it may be the first of a queue of late answers), and its frame goes again as after
//   a lost answer;
// - after a lost, refused, broken or doubtful answer and after old bytes, the next frame waits
//   for a quiet line (a whole answer's time without a byte), so that a late answer shows itself
//   before a frame it could be taken for goes out; so does the frame after one confirmed on a
//   retry, since the earlier send's answer may still follow;
// - a service block whose port settings are out of range is not the service block, and counts
//   as no answer.
// A queue of old answers therefore delays the update and never confirms a frame; on a clean
// line the frames keep their order and spacing.
// Everything runs on the thread of the port; nothing waits or sleeps.
class FirmwareUpdate : public QObject
{
    Q_OBJECT
public:
    enum TStep : uint8_t { Idle = 0, Writing = 3, Erasing = 4, Erased = 43 };
    // Pending: a frame is out and its answer awaited. Confirmed: its answer came whole, with
    // nothing behind it so far. NothingPending: no frame sent yet, or its answer failed.
    enum TReplyState : uint8_t { NothingPending = 0, Pending = 1, Confirmed = 2 };
    enum class Colour { Black, Green, Red };

    static constexpr int ChunkSize = 192;
    static constexpr uint16_t FirstPage = 32;
    static constexpr uint16_t LastPage = 62;
    static constexpr int BusyIntervalMs = 300;
    static constexpr int IdleIntervalMs = 500;
    static constexpr int MaxTimeoutCount = 15;
    static constexpr int PortErrorTimeoutCount = 6;
    static constexpr int DataFrameSize = 203;
    // A step frame goes again after every loss, so a run of losses of one frame is rare even on
    // a poor line: at 30 % lost answers fifteen in a row come once in 70 million frames. A
    // gateway that refuses or ignores a frame does so every time; at the protocol's pace fifteen
    // tries take about 12 s before the update gives up.
    static constexpr int MaxStepFailures = 15;
    // Frames that write an image: one erase frame per page, then one data frame per chunk
    // begun and one more (a whole number of chunks ends with a chunk of 0xFF).
    static constexpr int FrameCount(int imageLength) { return (LastPage - FirstPage + 1) + imageLength / ChunkSize + 1; }

    // The port is not owned; it must outlive this object.
    // The update reads the port as bytes arrive (its OnDataRecived is the update's).
    explicit FirmwareUpdate(TAfComPort &port, QObject *parent = nullptr);
    ~FirmwareUpdate() override;

    FirmwareImage &Image() { return m_image; }
    const FirmwareImage &Image() const { return m_image; }
    QTimer &Timer() { return m_timer; }

    void setSlaveAddress(uint8_t address) { SlaveAddress = address; }
    // The first tick after a handover comes after 4,800,000 / baud ms, at least 500 ms.
    void setFirstInterval(qint32 baud);
    // A fresh start on a newly opened port: counters and state zeroed, idle.
    void ResetCounters();
    // Starts programming the loaded image; fileName is shown while the data go out.
    void StartProgramming(const QString &fileName);
    // Stops programming at once; nothing is sent to undo what was written.
    void Cancel();
    // Stops programming without sending anything more, once the answer to the frame in flight
    // is in or its time is over (and, for a frame sent more than once, the line is quiet):
    // returns the ms still to wait (call again then), 0 when done.
    int Settle();
    // One tick: checks what arrived, then sends the next frame.
    void Tick();

    TStep Step() const { return m_step; }
    TReplyState ReplyState() const { return m_replyState; }
    uint16_t ErasePage() const { return m_erasePage; }
    int ReadPos() const { return m_readPos; }
    int TimeoutCount() const { return m_timeoutCount; }
    int TxCount() const { return m_txCount; }
    int ProgressCount() const { return m_progressCount; }
    int ProgressMaximum() const { return m_image.ImageLength() / ChunkSize + 33; }
    // What the gateway confirmed since programming began: the last page whose erase it
    // confirmed (none before the first), and how many bytes of the image its confirmed data
    // frames hold.
    std::optional<uint16_t> ErasedUpTo() const { return m_erasedUpTo; }
    int WrittenBytes() const { return m_writtenBytes; }
    // How many times in a row the current erase or data frame was refused or went unanswered;
    // 0 again once a step frame is confirmed.
    int StepFailures() const { return m_stepFailures; }
    // Those failures as one sentence, e.g. "The gateway refused the data frame at byte 3840
    // 15 times in a row (exception 04)"; empty when there are none.
    QString StepFailureText() const;
    // How long the line must be quiet before a frame may follow an anomaly: a read of the
    // service block and its answer on the line, the gateway's answer delay and the margin.
    int QuietLineMs() const;
    // How much longer the next frame has to wait for a quiet line (0: it may go now).
    int QuietWaitMs() const;
    // Since the port was taken afresh (ResetCounters): bursts of bytes that came while no
    // frame was outstanding, and answers put in doubt by bytes behind them.
    int OldBursts() const { return m_oldBursts; }
    int DoubtfulAnswers() const { return m_doubtfulAnswers; }
    // Whole seconds since programming began, as "12 s".
    QString ElapsedText() const;

    // The frames, byte for byte, built in the transmit buffer.
    QByteArray readFrame();
    QByteArray eraseFrame(uint16_t page);
    QByteArray dataFrame(int position);

    // Notifications to the window; each may be unset.
    std::function<void(const QString &text, Colour colour)> OnStatus; // the communication line
    std::function<void(const QString &text)> OnVersion;              // "Gateway FW version: V1.09"
    std::function<void(int position, int maximum)> OnProgress;
    std::function<void(const QString &text)> OnProgressText;
    std::function<void()> OnPortClosed;   // the port is found closed: clear Connected
    std::function<void()> OnPortInactive; // a step found the port closed: programming cancelled
    std::function<void()> OnDone;         // all data confirmed; Step is back to idle
    // A step frame failed MaxStepFailures times in a row: programming is cancelled; why is
    // StepFailureText().
    std::function<void(const QString &why)> OnGaveUp;

private:
    enum class Frame { None, Read, Erase, Data };
    // Why a frame's answer does not count.
    enum class Failure { NoAnswer, Refused, Broken, Implausible, Doubtful };

    // Reads what the port holds: bytes for the outstanding frame, or old ones. False after a
    // port error (the port is then closed).
    bool takeArrivals();
    // How much longer the answer to the outstanding frame may take; 0 when its time is over.
    int answerWaitMs() const;
    // Decides the outstanding frame's fate once a whole frame is among the bytes received.
    void settleAnswer();
    // Bytes while no frame is outstanding: they put a held answer in doubt, or are old.
    void strayBytes();
    // The last frame is not confirmed: counted, and the next frame waits for a quiet line.
    void frameFailed(Failure why, uint8_t exceptionCode = 0);
    // Takes the answer held since it came: nothing followed it up to now.
    void takeAnswer();
    void restartQuietClock();
    // How long the timer's current interval has been running (0 when it is stopped).
    qint64 intervalRunMs() const;
    void stepAction();
    void send(const QByteArray &frame, Frame kind);
    void showProgress(int position);
    // CRC over transmit positions 1..n-1, stored at positions n and n+1.
    void CRC_tx(int n);

    TAfComPort &m_port;
    FirmwareImage m_image;
    QTimer m_timer;
    QElapsedTimer m_startTime;
    QString m_fileName;
    uint8_t SlaveAddress = 1;
    std::array<uint8_t, DataFrameSize + 3> TxBuffer{};
    AnswerMatcher m_expected; // the answer to the outstanding frame; expects none while none is
    QByteArray m_received;    // bytes received for it
    QElapsedTimer m_steady;   // the steady clock of the time since
    SinceClock m_sinceSent;   // since the outstanding frame went out
    int m_answerDelayMs;      // the gateway's, from its registers 1053/1054
    TReplyState m_replyState = NothingPending;
    TStep m_step = Idle;
    uint16_t m_erasePage = FirstPage;
    int m_readPos = 0; // position of the next chunk in the image; its low 16 bits go in the frame
    int m_timeoutCount = 0;
    int m_txCount = 0;
    int m_progressCount = 0;
    Frame m_lastFrame = Frame::None;
    int m_frameAt = 0; // the last step frame's page (erase) or image position (data)
    std::optional<uint16_t> m_erasedUpTo;
    int m_writtenBytes = 0;
    int m_stepFailures = 0;
    bool m_failedErase = false;  // the failing frame is an erase (else a data frame)
    int m_stepRefusals = 0;      // how many of those were exception answers
    uint8_t m_exceptionCode = 0; // the last one's code

    QByteArray m_heldAnswer;    // the last frame's answer, come whole and not taken yet
    bool m_retried = false;     // the last frame had gone before without being confirmed
    bool m_needQuiet = false;   // the next frame waits for a quiet line
    bool m_oldBurst = false;    // old bytes since the last frame were counted already
    SinceClock m_sinceActivity; // since the last byte came or the last frame went out
    int m_oldBursts = 0;
    int m_doubtfulAnswers = 0;
};
