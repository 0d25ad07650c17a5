#pragma once

#include "Staleness.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>

class TFrame_LineTab;

// Shows the line tabs as old once the gateway has been silent too long or the link closed:
// their sensor boxes and headers dimmed, the last values kept, and the headers saying since
// when (Staleness decides). The next accepted answer makes them look live again. The tabs
// belong to the window and outlive this object.
class StaleDisplay : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<Staleness::Moment()>;

    explicit StaleDisplay(QList<TFrame_LineTab *> tabs, QObject *parent = nullptr);

    // The port opened (the display was just cleared) or closed.
    void linkChanged(bool open);
    // The gateway's answer was accepted; called before its block reaches the displays.
    void answered();
    // Shows the tabs as the rule says now and sets the timer for the moment they go old. The
    // timer runs it; tests call it with their own clock.
    void check();

    const QTimer &timer() const { return m_timer; }
    // Tests give a clock of their own: no test waits for the real one.
    void setClock(Clock clock) { m_clock = std::move(clock); }

private:
    Staleness::Moment now() const;
    void show(bool stale, const QString &note);

    QList<TFrame_LineTab *> m_tabs;
    Staleness m_rule;
    QTimer m_timer;
    QElapsedTimer m_steady;
    Clock m_clock;
    bool m_shownStale = false;
};
