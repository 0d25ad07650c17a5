#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Modbus TCP framing for a master that speaks RTU. A request frame (address, function, data,
// CRC) goes out as an MBAP frame: transaction id, protocol id 0, length, unit id = the RTU
// address, the PDU. An MBAP answer comes back as the RTU frame the gateway would have sent on
// its line: unit id, PDU and a correct CRC.
//
// Each request gets the next transaction id, and only an answer that carries the id of the
// request outstanding, and began to arrive after that request went out, is passed on: over
// Modbus TCP a late answer is told apart exactly, so an answer to an earlier request never
// stands for the current one. A header that cannot be
// Modbus TCP (protocol id not 0, a length without room for a function code or beyond the
// longest PDU) leaves no way to find where the next frame begins: what is buffered is dropped
// with everything that follows it until the next request goes out, and the answer counts as
// lost.
class MbapFraming
{
public:
    static constexpr int HeaderSize = 7; // transaction id, protocol id, length, unit id
    static constexpr int MaxLength
        = 254; // the length field: unit id and a PDU of at most 253 bytes

    // The MBAP frame for an RTU request, under the next transaction id; nullopt, with why in
    // *why, when the frame is too short or its CRC is wrong (a damaged frame reaches no gateway
    // on a serial line either).
    std::optional<QByteArray> request(const QByteArray &rtu, QString *why = nullptr);
    // Takes bytes from the connection, as they come; returns the answers to the outstanding
    // request among them as RTU frames.
    QByteArray answers(const QByteArray &bytes);
    // A new connection: no request is outstanding and no frame begun.
    void reset();

    // The transaction id of the last request (0 before any).
    quint16 lastTransactionId() const { return m_lastId; }
    // Since the framing was made: answers dropped for another transaction id, and headers that
    // were not Modbus TCP.
    int droppedAnswers() const { return m_droppedAnswers; }
    int malformedHeaders() const { return m_malformedHeaders; }

    // The RTU frame of an answer: unit id, PDU, CRC (low byte first).
    static QByteArray rtuFrame(quint8 unitId, const QByteArray &pdu);

private:
    quint16 m_nextId = 1;
    quint16 m_lastId = 0;
    bool m_outstanding = false;
    bool m_skipUntilRequest = false;
    QByteArray m_buffer;
    qsizetype m_beforeRequest = 0; // bytes at the front of m_buffer that came before the request
    int m_droppedAnswers = 0;
    int m_malformedHeaders = 0;
};
