#include "TrafficLog.h"

#include "FrameDecoder.h"

QString TrafficLog::hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

void TrafficLog::append(Entry e)
{
    e.number = m_next++;
    if (m_entries.size() >= Capacity)
        m_entries.removeFirst();
    m_entries.append(std::move(e));
}

TrafficLog::Entry *TrafficLog::byNumber(quint64 number)
{
    if (m_entries.isEmpty() || number < m_entries.first().number)
        return nullptr;
    const qsizetype i = qsizetype(number - m_entries.first().number);
    return i < m_entries.size() ? &m_entries[i] : nullptr;
}

void TrafficLog::addSent(const QByteArray &frame, const QDateTime &at)
{
    // A write (functions 06 and 16) goes out uncounted and may be answered or not; only a read
    // left without an answer is a lost answer.
    if (!m_answered && m_request.size() >= 2 && uint8_t(m_request[1]) == 0x03) {
        if (Entry *e = byNumber(m_requestNumber)) {
            e->decoding += QStringLiteral("; no answer");
            e->error = true;
            e->fault = LinkFault::Timeout;
            ++m_revision;
        }
    }
    const FrameDecoder::Decoded d = FrameDecoder::request(frame);
    Entry e;
    e.time = at;
    e.sent = true;
    e.bytes = frame;
    e.decoding = d.text;
    e.error = d.error;
    e.fault = d.fault;
    append(std::move(e));
    m_request = frame;
    m_requestNumber = m_next - 1;
    m_requestTime = at;
    m_answered = false;
}

void TrafficLog::addReceived(const QByteArray &frame, const QDateTime &at)
{
    const FrameDecoder::Decoded d = FrameDecoder::answer(frame, m_request);
    Entry e;
    e.time = at;
    e.bytes = frame;
    e.decoding = d.text;
    e.error = d.error;
    e.fault = d.fault;
    if (m_requestTime.isValid())
        e.delayMs = m_requestTime.msecsTo(at);
    append(std::move(e));
    m_answered = true;
}

void TrafficLog::clear()
{
    m_entries.clear();
    ++m_revision;
}

QList<TrafficLog::Entry> TrafficLog::since(quint64 after) const
{
    if (m_entries.isEmpty())
        return {};
    const quint64 first = m_entries.first().number;
    const qsizetype from = after < first ? 0 : qsizetype(after - first + 1);
    return from >= m_entries.size() ? QList<Entry>() : m_entries.mid(from);
}
