#include "FaultInjector.h"

bool FaultInjector::active() const
{
    return m_rates.drop > 0 || m_rates.corrupt > 0 || m_rates.truncate > 0 || m_rates.extra > 0
           || m_rates.garbage > 0 || m_rates.split > 0 || m_rates.refuse > 0;
}

bool FaultInjector::refuse()
{
    if (m_rates.refuse <= 0 || m_rng.generateDouble() >= m_rates.refuse)
        return false;
    ++m_counts.refused;
    return true;
}

QByteArray FaultInjector::randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(m_rng.bounded(256));
    return bytes;
}

QList<QByteArray> FaultInjector::apply(const QByteArray &answer)
{
    ++m_counts.answers;
    QByteArray out = answer;
    const double r = m_rng.generateDouble();
    double edge = m_rates.drop;
    if (r < edge) {
        ++m_counts.dropped;
        return {};
    }
    if (r < (edge += m_rates.corrupt)) {
        ++m_counts.corrupted;
        const int at = int(m_rng.bounded(int(out.size())));
        out[at] = char(out[at] ^ (1 << m_rng.bounded(8)));
    } else if (r < (edge += m_rates.truncate)) {
        ++m_counts.truncated;
        out.truncate(int(m_rng.bounded(1, int(out.size()))));
    } else if (r < (edge += m_rates.extra)) {
        ++m_counts.extended;
        out.append(randomBytes(int(m_rng.bounded(1, 4))));
    } else if (r < (edge += m_rates.garbage)) {
        ++m_counts.garbled;
        out.prepend(randomBytes(int(m_rng.bounded(1, 4))));
    }

    if (out.size() > 1 && m_rng.generateDouble() < m_rates.split) {
        ++m_counts.split;
        QList<QByteArray> pieces;
        int pos = 0;
        while (pos < out.size()) {
            const int n = int(m_rng.bounded(1, int(out.size()) - pos + 1));
            pieces.append(out.mid(pos, n));
            pos += n;
        }
        return pieces;
    }
    return {out};
}
