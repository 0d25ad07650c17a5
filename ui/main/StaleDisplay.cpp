#include "StaleDisplay.h"

#include "ErrorGuard.h"
#include "TFrame_LineTab.h"

StaleDisplay::StaleDisplay(QList<TFrame_LineTab *> tabs, QObject *parent) : QObject(parent), m_tabs(std::move(tabs))
{
    m_steady.start();
    m_timer.setSingleShot(true);
    // A coarse timer may come a little early; check() sets it again for the rest.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { ErrorGuard::run([this] { check(); }); });
}

Staleness::Moment StaleDisplay::now() const
{
    if (m_clock)
        return m_clock();
    return {m_steady.elapsed(), QTime::currentTime()};
}

void StaleDisplay::linkChanged(bool open)
{
    if (open)
        m_rule.opened(now());
    else
        m_rule.closed();
    check();
}

void StaleDisplay::answered()
{
    const Staleness::Moment at = now();
    m_rule.answered(at);
    // Several answers a second: while the tabs look live, only the timer moves on.
    if (m_shownStale)
        check();
    else if (const int left = m_rule.msUntilStale(at.steadyMs); left >= 0)
        m_timer.start(left);
}

void StaleDisplay::check()
{
    const qint64 at = now().steadyMs;
    const bool stale = m_rule.stale(at);
    show(stale, m_rule.note(at));
    const int left = m_rule.msUntilStale(at);
    if (!stale && left > 0)
        m_timer.start(left);
    else
        m_timer.stop();
}

void StaleDisplay::show(bool stale, const QString &note)
{
    m_shownStale = stale;
    for (TFrame_LineTab *tab : std::as_const(m_tabs))
        tab->setStale(stale, note);
}
