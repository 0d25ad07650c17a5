#pragma once

#include "AnswerMatcher.h"
#include "LineSettings.h"
#include "LinkPort.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>
#include <optional>

struct CliContext;

// scan [--bauds LIST] [--addresses RANGE]: finds a gateway whose speed and address are not
// known. Each address in turn is asked at each speed (common speeds first) for the version
// register alone. Each probe starts on a quiet line and waits as long as a gateway set to the
// longest answer delay takes at that speed, so a slow gateway's answer is neither missed nor
// taken for the next probe's. Whatever answers is asked once more and printed only when it
// answers again; once something answered, the remaining addresses are tried at its speed only,
// since devices on one line share its speed.
class ScanCommand : public QObject
{
    Q_OBJECT
public:
    static int run(CliContext &ctx);

    // The gateway's 16 speeds in Bd, the usual ones first.
    static QList<qint32> commonFirst();
    // Request and answer on the line with the silence between them, the longest answer delay a
    // gateway can be set to, and the margin for the adapter and the system.
    static int probeTimeoutMs(const LineSettings &line);
    // How long no byte may have come before a probe goes out: the 3.5 characters that end a
    // frame, and the same margin.
    static int quietMs(const LineSettings &line);

private:
    explicit ScanCommand(CliContext &ctx);

    // The answer of the device at address at this speed; nullopt when none came. Sets
    // m_interrupted when Ctrl+C ended the wait.
    std::optional<QByteArray> probe(qint32 baud, int address, int timeoutMs);
    // Reads and drops whatever still arrives until no byte came for quietMs; a line that never
    // goes quiet is given up on after maxMs (the probe's answer must still match it).
    void waitQuiet(int quietMs, int maxMs);
    // Ends the current wait when its time is over.
    void waitFor(int ms);
    void onData();
    bool answerComplete() const;

    CliContext &m_ctx;
    LinkPort m_link;
    QTimer m_deadline;
    QByteArray m_received;
    AnswerMatcher m_expected;
    QElapsedTimer m_sinceByte; // since the last byte arrived
    bool m_listening = false;  // bytes are the probe's answer; otherwise they are dropped
    bool m_over = false;
    bool m_interrupted = false;
};
