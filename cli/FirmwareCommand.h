#pragma once

#include "FirmwareUpdate.h"
#include "LinkPort.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

struct CliContext;

// firmware FILE.bin [--yes]: the window's firmware update on a port of its own. The update
// protocol is driven by this command's timer at the pace the protocol asks for; the command
// waits for the gateway's version before it asks "Program the device memory?" (--yes answers
// it), shows a progress bar on a terminal, and ends when the last frame is confirmed. No
// confirmed answer for the timeout, one frame refused or unanswered too often in a row, or
// Ctrl+C stops it after the frame in flight and says what the gateway confirmed it is left with.
class FirmwareCommand : public QObject
{
    Q_OBJECT
public:
    static int run(CliContext &ctx);

private:
    FirmwareCommand(CliContext &ctx, const QString &path, int paceMs);

    void bind();
    void onTick();
    void scheduleTick(bool first);
    void showProgress();
    // What a stopped update leaves in the gateway, as far as the gateway confirmed it.
    QString stateText() const;
    CliFailure stopped(const QString &why);
    int timeoutMs();

    CliContext &m_ctx;
    QString m_path;
    int m_paceMs; // 0: the protocol's own pace
    LinkPort m_link;
    FirmwareUpdate m_update;
    QTimer m_ticker;
    QElapsedTimer m_clock;   // the ticks' schedule: one every interval from the first,
    qint64 m_nextTickMs = 0; // so the time each tick takes does not add up over the frames
    QElapsedTimer m_sinceConfirmed;
    QString m_version;
    bool m_programming = false;
    bool m_done = false;
    bool m_stopRequested = false;
    bool m_stopped = false;
    int m_position = 0;
    int m_maximum = 1;
    int m_retries = 0;
};
