#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

// The hint that an open link gets nothing back at all: a gateway at another speed or address
// is as silent as no gateway. Once every read for Freshness::StaleAfterMs since the link
// opened (or since the last answer) went unanswered, the hint points to Find gateway; an
// answer, or any read that got something back (a broken or foreign answer is not the silence
// of a wrong speed or address), takes it away and starts the count again. Closing the link
// takes it away too.
class SilenceHint : public QObject
{
    Q_OBJECT
public:
    // changed runs whenever the hint appears or goes.
    explicit SilenceHint(std::function<void()> changed, QObject *parent = nullptr);

    void linkChanged(bool open);
    // The gateway's answer was accepted.
    void answered();
    // A read of the cycle came to nothing; unanswered: not even a byte of an answer came.
    void readFailed(bool unanswered);

    bool shown() const { return m_shown; }
    // The hint in the program's language; empty while it is not shown.
    QString text() const;
    // The timer that shows the hint; tests fire it instead of waiting.
    QTimer &timer() { return m_timer; }

private:
    void restart();
    void setShown(bool shown);

    std::function<void()> m_changed;
    QTimer m_timer;
    bool m_open = false;
    bool m_shown = false;
};
