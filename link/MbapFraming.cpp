#include "MbapFraming.h"

#include "LinkLog.h"
#include "ModbusCrc.h"

namespace {

quint16 word(const QByteArray &bytes, qsizetype at)
{
    return quint16(quint8(bytes[at]) << 8 | quint8(bytes[at + 1]));
}

void appendWord(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

} // namespace

std::optional<QByteArray> MbapFraming::request(const QByteArray &rtu, QString *why)
{
    // Address, function and the CRC at the least; the PDU must fit the length field.
    if (rtu.size() < 4 || rtu.size() - 2 > MaxLength) {
        if (why)
            *why = QStringLiteral("a frame of %1 bytes is no Modbus request").arg(rtu.size());
        return std::nullopt;
    }
    if (!ModbusCrc::endsWithValidCrc(rtu)) {
        if (why)
            *why = QStringLiteral("the request's CRC is wrong");
        return std::nullopt;
    }
    m_lastId = m_nextId++;
    m_outstanding = true;
    // Whatever the connection held is older than this request; a frame that begins from here
    // on is read from its header again.
    if (m_skipUntilRequest) {
        m_skipUntilRequest = false;
        m_buffer.clear();
    }
    m_beforeRequest = m_buffer.size();
    const QByteArray unitAndPdu = rtu.left(rtu.size() - 2);
    QByteArray frame;
    frame.reserve(HeaderSize - 1 + unitAndPdu.size());
    appendWord(frame, m_lastId);
    appendWord(frame, 0);
    appendWord(frame, quint16(unitAndPdu.size()));
    frame.append(unitAndPdu);
    return frame;
}

QByteArray MbapFraming::answers(const QByteArray &bytes)
{
    if (m_skipUntilRequest)
        return {};
    m_buffer.append(bytes);
    QByteArray out;
    while (m_buffer.size() >= HeaderSize) {
        const quint16 id = word(m_buffer, 0);
        const quint16 protocol = word(m_buffer, 2);
        const quint16 length = word(m_buffer, 4);
        if (protocol != 0 || length < 2 || length > MaxLength) {
            ++m_malformedHeaders;
            qCWarning(lcLink).noquote() << QStringLiteral(
                "not a Modbus TCP header (protocol id %1, length %2): %3 bytes dropped, and what "
                "follows until the next request")
                                               .arg(protocol)
                                               .arg(length)
                                               .arg(m_buffer.size());
            m_buffer.clear();
            m_beforeRequest = 0;
            m_skipUntilRequest = true;
            m_outstanding = false;
            break;
        }
        const qsizetype frameSize = HeaderSize - 1 + length;
        if (m_buffer.size() < frameSize)
            break;
        const quint8 unit = quint8(m_buffer[HeaderSize - 1]);
        const QByteArray pdu = m_buffer.mid(HeaderSize, length - 1);
        m_buffer.remove(0, frameSize);
        // A frame begun before the request went out cannot answer it, whatever its id says.
        const bool begunBefore = m_beforeRequest > 0;
        m_beforeRequest = qMax<qsizetype>(0, m_beforeRequest - frameSize);
        if (!m_outstanding || id != m_lastId || begunBefore) {
            ++m_droppedAnswers;
            const QString why = !m_outstanding ? QStringLiteral("no request is outstanding")
                : begunBefore ? QStringLiteral("it began before the request went out")
                              : QStringLiteral("the request outstanding has %1").arg(m_lastId);
            qCWarning(lcLink).noquote()
                << QStringLiteral("Modbus TCP answer with transaction id %1 dropped: %2")
                       .arg(id)
                       .arg(why);
            continue;
        }
        // One answer per request: a second one under the same id is not the gateway's.
        m_outstanding = false;
        out.append(rtuFrame(unit, pdu));
    }
    return out;
}

void MbapFraming::reset()
{
    m_outstanding = false;
    m_skipUntilRequest = false;
    m_buffer.clear();
    m_beforeRequest = 0;
}

QByteArray MbapFraming::rtuFrame(quint8 unitId, const QByteArray &pdu)
{
    QByteArray frame;
    frame.reserve(pdu.size() + 3);
    frame.append(char(unitId));
    frame.append(pdu);
    return ModbusCrc::appended(frame);
}
