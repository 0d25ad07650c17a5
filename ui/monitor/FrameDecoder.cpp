#include "FrameDecoder.h"

#include "ModbusCrc.h"

namespace {

uint16_t word(const QByteArray &f, int i)
{
    return uint16_t(uint8_t(f[i]) << 8 | uint8_t(f[i + 1]));
}

QString crcText(const QByteArray &frame, bool *bad)
{
    const bool ok = frame.size() >= 4 && ModbusCrc::endsWithValidCrc(frame);
    *bad = !ok;
    return ok ? QStringLiteral("CRC OK") : QStringLiteral("CRC bad");
}

} // namespace

QString FrameDecoder::functionName(uint8_t function)
{
    switch (function & 0x7F) {
    case 0x03:
        return QStringLiteral("read holding registers");
    case 0x06:
        return QStringLiteral("write single register");
    case 0x10:
        return QStringLiteral("write multiple registers");
    default:
        return QStringLiteral("function %1").arg(QString::number(function & 0x7F, 16).rightJustified(2, QLatin1Char('0')).toUpper());
    }
}

QString FrameDecoder::exceptionName(uint8_t code)
{
    switch (code) {
    case 1:
        return QStringLiteral("illegal function");
    case 2:
        return QStringLiteral("illegal data address");
    case 3:
        return QStringLiteral("illegal data value");
    case 4:
        return QStringLiteral("slave device failure");
    case 5:
        return QStringLiteral("acknowledge");
    case 6:
        return QStringLiteral("slave device busy");
    // From a Modbus TCP gateway in front of the line: no way to the line, or no answer on it.
    case 10:
        return QStringLiteral("gateway path unavailable");
    case 11:
        return QStringLiteral("gateway target device failed to respond");
    default:
        return QStringLiteral("exception %1").arg(code);
    }
}

FrameDecoder::Decoded FrameDecoder::request(const QByteArray &frame)
{
    Decoded d;
    if (frame.size() < 4) {
        d.error = true;
        d.fault = LinkFault::Crc;
        d.text = QStringLiteral("%1 bytes: too short for a frame").arg(frame.size());
        return d;
    }
    bool badCrc = false;
    const QString crc = crcText(frame, &badCrc);
    const auto address = uint8_t(frame[0]);
    const auto function = uint8_t(frame[1]);
    QString what = functionName(function);
    if ((function == 0x03 || function == 0x06 || function == 0x10) && frame.size() >= 8) {
        const uint16_t first = word(frame, 2);
        const uint16_t second = word(frame, 4);
        if (function == 0x06)
            what += QStringLiteral(" %1 = %2 (0x%3)").arg(first).arg(second).arg(QString::number(second, 16).toUpper().rightJustified(4, QLatin1Char('0')));
        else
            what += QStringLiteral(" %1, count %2").arg(first).arg(second);
    }
    d.text = QStringLiteral("address %1, %2; %3").arg(address).arg(what, crc);
    d.error = badCrc;
    d.fault = badCrc ? LinkFault::Crc : LinkFault::None;
    return d;
}

FrameDecoder::Decoded FrameDecoder::answer(const QByteArray &frame, const QByteArray &request)
{
    Decoded d;
    // Whether the frame comes from where the request went and answers its function; without a
    // request nothing says otherwise.
    const bool asked = request.size() < 2
                       || (!frame.isEmpty() && frame[0] == request[0]
                           && (frame.size() < 2 || (uint8_t(frame[1]) & 0x7F) == uint8_t(request[1])));
    if (frame.size() < 4) {
        d.error = true;
        d.fault = asked && !frame.isEmpty() ? LinkFault::Crc : LinkFault::Noise;
        d.text = QStringLiteral("%1 bytes: cut short").arg(frame.size());
        return d;
    }
    bool badCrc = false;
    const QString crc = crcText(frame, &badCrc);
    d.error = badCrc;
    d.fault = badCrc ? (asked ? LinkFault::Crc : LinkFault::Noise) : LinkFault::None;
    const auto address = uint8_t(frame[0]);
    const auto function = uint8_t(frame[1]);
    if (function & 0x80) {
        d.error = true;
        if (!badCrc)
            d.fault = asked ? LinkFault::Exception : LinkFault::Foreign;
        d.text = QStringLiteral("address %1, %2 refused: %3; %4")
                     .arg(address)
                     .arg(functionName(function), exceptionName(uint8_t(frame[2])), crc);
        return d;
    }
    QString what = functionName(function);
    if (function == 0x03) {
        const int bytes = uint8_t(frame[2]);
        what += QStringLiteral(", %1 bytes").arg(bytes);
        if (request.size() >= 6 && uint8_t(request[1]) == 0x03)
            what += QStringLiteral(" (registers %1..%2)").arg(word(request, 2)).arg(word(request, 2) + bytes / 2 - 1);
        if (frame.size() != 5 + bytes) {
            d.error = true;
            if (!badCrc)
                d.fault = LinkFault::Crc;
            what += QStringLiteral(", length %1 instead of %2").arg(frame.size()).arg(5 + bytes);
        }
    } else if ((function == 0x06 || function == 0x10) && frame.size() >= 8) {
        what += QStringLiteral(" %1 confirmed").arg(word(frame, 2));
    }
    if (request.size() >= 2 && (uint8_t(request[1]) != (function & 0x7F) || uint8_t(request[0]) != address)) {
        d.error = true;
        if (!badCrc)
            d.fault = LinkFault::Foreign;
        what += QStringLiteral(", not the answer to the last request");
    }
    d.text = QStringLiteral("address %1, %2; %3").arg(address).arg(what, crc);
    return d;
}
