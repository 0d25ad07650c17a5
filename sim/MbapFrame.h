#pragma once

#include <QByteArray>
#include <cstdint>

// Modbus TCP application data units: the MBAP header (transaction id, protocol id 0, the length
// of what follows, unit id) and a PDU of 1 to 253 bytes.
class MbapFrame
{
public:
    struct Request
    {
        quint16 transaction = 0;
        uint8_t unit = 0;
        QByteArray pdu;
    };
    enum class Take {
        Request, // a whole request was taken off the input
        Incomplete, // the input holds no whole request yet; nothing taken
        Broken // the input does not start with a Modbus header; nothing after it can be
               // trusted to start one
    };

    static constexpr int HeaderSize = 7;
    static constexpr int MaxPdu = 253;

    // Takes the first request off the front of a client's input.
    static Take takeRequest(QByteArray &input, Request *request);
    // The unit of an ADU carrying pdu under this transaction id.
    static QByteArray adu(quint16 transaction, uint8_t unit, const QByteArray &pdu);
    // The PDU of an exception answer to function.
    static QByteArray exceptionPdu(uint8_t function, uint8_t code);
};
