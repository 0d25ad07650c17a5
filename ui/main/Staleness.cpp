#include "Staleness.h"

#include "Freshness.h"
#include "LocaleText.h"

void Staleness::opened(const Moment &at)
{
    m_link = Link::Open;
    m_since = at;
    m_answered = false;
}

void Staleness::closed()
{
    // A link that never opened showed nothing that could have gone old.
    if (m_link == Link::Open)
        m_link = Link::Closed;
}

void Staleness::answered(const Moment &at)
{
    if (m_link != Link::Open)
        return;
    m_since = at;
    m_answered = true;
}

bool Staleness::stale(qint64 nowMs) const
{
    switch (m_link) {
    case Link::NeverOpened:
        return false;
    case Link::Closed:
        return true;
    case Link::Open:
        break;
    }
    return nowMs - m_since.steadyMs >= Freshness::StaleAfterMs;
}

int Staleness::msUntilStale(qint64 nowMs) const
{
    if (m_link != Link::Open)
        return -1;
    const qint64 left = Freshness::StaleAfterMs - (nowMs - m_since.steadyMs);
    return int(qBound(qint64(0), left, qint64(Freshness::StaleAfterMs)));
}

QString Staleness::note(qint64 nowMs, const QLocale &locale) const
{
    if (!stale(nowMs))
        return QString();
    const QString since = LocaleText::time(m_since.wall, locale);
    if (m_link == Link::Open)
        return QStringLiteral("no answer since %1").arg(since);
    return m_answered ? QStringLiteral("not connected, last answer %1").arg(since) : QStringLiteral("not connected");
}
