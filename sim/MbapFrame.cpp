#include "MbapFrame.h"

MbapFrame::Take MbapFrame::takeRequest(QByteArray &input, Request *request)
{
    if (input.size() < HeaderSize)
        return Take::Incomplete;
    const auto u8 = [&](int i) { return uint8_t(input[i]); };
    const int protocol = u8(2) << 8 | u8(3);
    // The length counts the unit id and the PDU.
    const int length = u8(4) << 8 | u8(5);
    if (protocol != 0 || length < 2 || length > 1 + MaxPdu)
        return Take::Broken;
    if (input.size() < 6 + length)
        return Take::Incomplete;
    request->transaction = quint16(u8(0) << 8 | u8(1));
    request->unit = u8(6);
    request->pdu = input.mid(HeaderSize, length - 1);
    input.remove(0, 6 + length);
    return Take::Request;
}

QByteArray MbapFrame::adu(quint16 transaction, uint8_t unit, const QByteArray &pdu)
{
    QByteArray a;
    const int length = 1 + int(pdu.size());
    a.append(char(transaction >> 8)).append(char(transaction & 0xFF));
    a.append('\0').append('\0');
    a.append(char(length >> 8)).append(char(length & 0xFF));
    a.append(char(unit)).append(pdu);
    return a;
}

QByteArray MbapFrame::exceptionPdu(uint8_t function, uint8_t code)
{
    QByteArray pdu;
    pdu.append(char(function | 0x80)).append(char(code));
    return pdu;
}
