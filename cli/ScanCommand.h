#pragma once

#include "AnswerMatcher.h"
#include "LineSettings.h"
#include "LinkPort.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>
#include <optional>

struct CliContext;

// scan [--bauds LIST] [--addresses RANGE]: finds a gateway whose speed and address are not
// known. Each address in turn is asked at each speed (common speeds first) for the version
// register alone, with a timeout just long enough for that short exchange at that speed.
// Whatever answers is printed; once something answered, the remaining addresses are tried at
// its speed only, since devices on one line share its speed.
class ScanCommand : public QObject
{
    Q_OBJECT
public:
    static int run(CliContext &ctx);

    // The gateway's 16 speeds in Bd, the usual ones first.
    static QList<qint32> commonFirst();
    // Request and answer on the line, the silence after them, and a margin for the adapter.
    static int probeTimeoutMs(const LineSettings &line);

private:
    explicit ScanCommand(CliContext &ctx);

    // The answer of the device at address at this speed; nullopt when none came. Sets
    // m_interrupted when Ctrl+C ended the wait.
    std::optional<QByteArray> probe(qint32 baud, int address, int timeoutMs);
    void onData();
    bool answerComplete() const;

    CliContext &m_ctx;
    LinkPort m_link;
    QTimer m_deadline;
    QByteArray m_received;
    AnswerMatcher m_expected;
    bool m_over = false;
    bool m_interrupted = false;
};
