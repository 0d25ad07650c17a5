#include "SilenceHint.h"

#include "ErrorGuard.h"
#include "Freshness.h"
#include "Language.h"

SilenceHint::SilenceHint(std::function<void()> changed, QObject *parent) : QObject(parent), m_changed(std::move(changed))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(Freshness::StaleAfterMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { ErrorGuard::run([this] { setShown(m_open); }); });
}

void SilenceHint::linkChanged(bool open)
{
    m_open = open;
    setShown(false);
    if (open)
        m_timer.start();
    else
        m_timer.stop();
}

void SilenceHint::answered()
{
    restart();
}

void SilenceHint::readFailed(bool unanswered)
{
    // Only silence keeps the count going.
    if (!unanswered)
        restart();
}

QString SilenceHint::text() const
{
    if (!m_shown)
        return QString();
    return Language::current() == Language::Czech
               ? QStringLiteral("Žádná odpoved: špatná rychlost nebo adresa? Komunikace > Vyhledat bránu")
               : QStringLiteral("No answer: wrong speed or address? Communication > Find gateway");
}

void SilenceHint::restart()
{
    setShown(false);
    if (m_open)
        m_timer.start();
}

void SilenceHint::setShown(bool shown)
{
    if (shown == m_shown)
        return;
    m_shown = shown;
    if (m_changed)
        m_changed();
}
