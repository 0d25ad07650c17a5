#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

// Whether the values on screen are current, and since when they are not. They are current
// while the link is open and the gateway's last accepted answer (or the opening of the link,
// before the first answer) is less than Freshness::StaleAfterMs old. Once an opened link
// closes they are the last values read, until the link opens again. Before the first opening
// nothing from a gateway is shown, so nothing is old.
class Staleness
{
public:
    // A moment on two clocks: a steady one that decides (the wall clock may be set while the
    // tool runs) and the wall clock that the note shows.
    struct Moment
    {
        qint64 steadyMs = 0;
        QTime wall;
    };

    // The link opened: the display was cleared and the silence counts from here.
    void opened(const Moment &at);
    void closed();
    void answered(const Moment &at);

    bool stale(qint64 nowMs) const;
    // How long the values stay current from now on; -1 while no silence can make them old
    // (the link is not open).
    int msUntilStale(qint64 nowMs) const;
    // What the line headers say in place of the line state while the values are old, e.g.
    // "no answer since 21:08:13"; empty while they are current.
    QString note(qint64 nowMs, const QLocale &locale = QLocale()) const;

private:
    enum class Link { NeverOpened, Open, Closed };
    Link m_link = Link::NeverOpened;
    Moment m_since;          // the last answer, or the opening of the link before it
    bool m_answered = false; // an answer came since the link opened
};
