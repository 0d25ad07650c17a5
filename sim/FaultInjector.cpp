#include "FaultInjector.h"

#include "CrcCollision.h"
#include "ModbusCrc.h"

bool FaultInjector::active() const
{
    return m_rates.drop > 0 || m_rates.corrupt > 0 || m_rates.truncate > 0 || m_rates.extra > 0
           || m_rates.garbage > 0 || m_rates.collide > 0 || m_rates.split > 0 || m_rates.refuse > 0 || m_rates.foreign > 0
           || m_rates.exception > 0 || (m_rates.late > 0 && m_rates.lateMs > 0);
}

bool FaultInjector::refuse()
{
    if (m_rates.refuse <= 0 || m_rng.generateDouble() >= m_rates.refuse)
        return false;
    ++m_counts.refused;
    return true;
}

bool FaultInjector::late()
{
    // No draw while off: a seed spoils the same answers as before late answers existed.
    if (m_rates.late <= 0 || m_rates.lateMs <= 0 || m_rng.generateDouble() >= m_rates.late)
        return false;
    ++m_counts.late;
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
    m_lastPieces = pieces(answer);
    return m_lastPieces;
}

QList<QByteArray> FaultInjector::pieces(const QByteArray &answer)
{
    ++m_counts.answers;
    m_lastFault = Fault::None;
    QByteArray out = answer;
    const double r = m_rng.generateDouble();
    double edge = m_rates.drop;
    if (r < edge) {
        ++m_counts.dropped;
        m_lastFault = Fault::Drop;
        return {};
    }
    if (r < (edge += m_rates.corrupt)) {
        ++m_counts.corrupted;
        m_lastFault = Fault::Corrupt;
        const int at = int(m_rng.bounded(int(out.size())));
        out[at] = char(out[at] ^ (1 << m_rng.bounded(8)));
    } else if (r < (edge += m_rates.truncate)) {
        ++m_counts.truncated;
        m_lastFault = Fault::Truncate;
        out.truncate(int(m_rng.bounded(1, int(out.size()))));
    } else if (r < (edge += m_rates.extra)) {
        ++m_counts.extended;
        m_lastFault = Fault::Extra;
        out.append(randomBytes(int(m_rng.bounded(1, 4))));
    } else if (r < (edge += m_rates.garbage)) {
        ++m_counts.garbled;
        m_lastFault = Fault::Garbage;
        out.prepend(randomBytes(int(m_rng.bounded(1, 4))));
        return randomPieces(out);
    } else if (r < (edge += m_rates.collide)) {
        ++m_counts.collided;
        m_lastFault = Fault::Collide;
        out.prepend(CrcCollision::noiseBefore(out, int(out.size()), randomBytes(int(m_rng.bounded(0, 2)))));
        return randomPieces(out);
    } else if (r < (edge += m_rates.foreign) && out.size() >= 3) {
        // Another slave's address; the CRC is made right, so only the address tells.
        ++m_counts.foreign;
        m_lastFault = Fault::Foreign;
        out = out.left(out.size() - 2);
        out[0] = char(uint8_t(out[0]) % 247 + 1);
        out = ModbusCrc::appended(out);
    } else if (r < (edge += m_rates.exception) && out.size() >= 2) {
        // The gateway refuses the read: exception 04 (slave device failure).
        ++m_counts.exceptions;
        m_lastFault = Fault::Exception;
        const char exception[] = {out[0], char(uint8_t(out[1]) | 0x80), 0x04};
        out = ModbusCrc::appended(QByteArray(exception, 3));
    }

    if (out.size() > 1 && m_rng.generateDouble() < m_rates.split) {
        ++m_counts.split;
        return randomPieces(out);
    }
    return {out};
}

QList<QByteArray> FaultInjector::randomPieces(const QByteArray &bytes)
{
    QList<QByteArray> pieces;
    int pos = 0;
    while (pos < bytes.size()) {
        const int n = int(m_rng.bounded(1, int(bytes.size()) - pos + 1));
        pieces.append(bytes.mid(pos, n));
        pos += n;
    }
    return pieces;
}
