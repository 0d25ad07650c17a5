#pragma once

#include "LinkFault.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// The frames on the gateway link, newest last, at most Capacity of them: each with its time to
// the millisecond, direction, bytes and decoding; an answer also with its delay after the
// request, and a request that got no answer before the next one marked so. Entries carry a
// running number so a window can take only what is new since its last look.
class TrafficLog
{
public:
    static constexpr int Capacity = 10000;

    struct Entry
    {
        quint64 number = 0;
        QDateTime time;
        bool sent = false;
        QByteArray bytes;
        QString decoding;
        bool error = false;
        LinkFault fault = LinkFault::None; // the kind of error; Timeout for a request left unanswered
        qint64 delayMs = -1; // answers: after their request
    };

    void addSent(const QByteArray &frame, const QDateTime &at = QDateTime::currentDateTimeUtc());
    void addReceived(const QByteArray &frame, const QDateTime &at = QDateTime::currentDateTimeUtc());
    void clear();

    int size() const { return int(m_entries.size()); }
    // The entries numbered after `after`, oldest first (all kept ones for 0).
    QList<Entry> since(quint64 after) const;
    const Entry &at(int i) const { return m_entries[i]; }
    quint64 lastNumber() const { return m_next - 1; }
    // Bumped when an entry already handed out changed (a request marked as unanswered) or the
    // log was cleared, so a window knows to take the whole log again.
    quint64 revision() const { return m_revision; }

    static QString hex(const QByteArray &bytes);

private:
    void append(Entry e);
    Entry *byNumber(quint64 number);

    QList<Entry> m_entries; // a ring kept in order: the oldest is dropped from the front
    quint64 m_next = 1;
    quint64 m_revision = 0;
    QByteArray m_request;
    quint64 m_requestNumber = 0;
    QDateTime m_requestTime;
    bool m_answered = true;
};
