#include "ModbusSlave.h"

#include "ModbusCrc.h"

namespace {
constexpr uint8_t kIllegalFunction = 0x01;
constexpr uint8_t kIllegalAddress = 0x02;
constexpr uint8_t kIllegalValue = 0x03;

uint16_t word(const QByteArray &f, int i)
{
    return uint16_t(uint8_t(f[i]) << 8 | uint8_t(f[i + 1]));
}
} // namespace

int ModbusSlave::expectedLength(const QByteArray &buffer)
{
    if (buffer.size() < 2)
        return 0;
    switch (uint8_t(buffer[1])) {
    case 0x03:
    case 0x06:
        return 8;
    case 0x10:
        return buffer.size() < 7 ? 0 : 9 + uint8_t(buffer[6]);
    default:
        return -1;
    }
}

QByteArray ModbusSlave::exception(uint8_t function, uint8_t code) const
{
    QByteArray body;
    body.append(char(m_address)).append(char(function | 0x80)).append(char(code));
    return ModbusCrc::appended(body);
}

QByteArray ModbusSlave::handle(const QByteArray &frame)
{
    if (frame.size() < 4 || !ModbusCrc::endsWithValidCrc(frame))
        return {};
    const uint8_t address = uint8_t(frame[0]);
    const bool broadcast = address == 0;
    if (!broadcast && address != m_address)
        return {};
    const uint8_t function = uint8_t(frame[1]);
    auto reply = [&](const QByteArray &answer) { return broadcast ? QByteArray() : answer; };
    auto accessError = [&](GatewayModel::Access a) {
        return reply(exception(function, a == GatewayModel::Access::IllegalAddress ? kIllegalAddress
                                                                                  : kIllegalValue));
    };

    switch (function) {
    case 0x03: {
        if (broadcast)
            return {};
        if (frame.size() != 8)
            return exception(function, kIllegalValue);
        const uint16_t start = word(frame, 2);
        const uint16_t count = word(frame, 4);
        if (count < 1 || count > 125)
            return exception(function, kIllegalValue);
        QList<uint16_t> regs;
        const auto a = m_model.read(start, count, regs);
        if (a != GatewayModel::Access::Ok)
            return accessError(a);
        QByteArray body;
        body.append(char(m_address)).append(char(0x03)).append(char(count * 2));
        for (uint16_t r : regs)
            body.append(char(r >> 8)).append(char(r & 0xFF));
        return ModbusCrc::appended(body);
    }
    case 0x06: {
        if (frame.size() != 8)
            return reply(exception(function, kIllegalValue));
        const auto a = m_model.writeSingle(word(frame, 2), word(frame, 4));
        if (a != GatewayModel::Access::Ok)
            return accessError(a);
        return reply(frame); // the answer to a single write echoes the request
    }
    case 0x10: {
        // Address, function, start, count, byte count and CRC: nine bytes before any value.
        if (frame.size() < 9)
            return reply(exception(function, kIllegalValue));
        const uint16_t start = word(frame, 2);
        const uint16_t count = word(frame, 4);
        const int bytes = uint8_t(frame[6]);
        if (count < 1 || count > 123 || bytes != 2 * count || frame.size() != 9 + bytes)
            return reply(exception(function, kIllegalValue));
        QList<uint16_t> values;
        for (int i = 0; i < count; ++i)
            values.append(word(frame, 7 + 2 * i));
        const auto a = m_model.writeMultiple(start, values);
        if (a != GatewayModel::Access::Ok)
            return accessError(a);
        return reply(ModbusCrc::appended(frame.left(6)));
    }
    default:
        return reply(exception(function, kIllegalFunction));
    }
}
