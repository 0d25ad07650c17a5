#include "ModbusException.h"

#include "FrameDecoder.h"
#include "ModbusCrc.h"

std::optional<ModbusException> ModbusException::find(const QByteArray &bytes)
{
    constexpr int kExceptionLength = 5; // address, function | 0x80, code, CRC
    constexpr int kWriteEchoLength = 8; // address, function, register, value or count, CRC
    qsizetype at = 0;
    while (at + kExceptionLength <= bytes.size()) {
        const auto function = uint8_t(bytes[at + 1]);
        qsizetype length = 0;
        if (function & 0x80)
            length = kExceptionLength;
        else if (function == 0x06 || function == 0x10)
            length = kWriteEchoLength;
        else if (function == 0x03)
            length = 5 + uint8_t(bytes[at + 2]);
        else
            return std::nullopt;
        if (at + length > bytes.size() || !ModbusCrc::endsWithValidCrc(bytes.mid(at, length)))
            return std::nullopt;
        if (function & 0x80)
            return ModbusException{uint8_t(function & 0x7F), uint8_t(bytes[at + 2])};
        at += length;
    }
    return std::nullopt;
}

QString ModbusException::text() const
{
    return QStringLiteral("Modbus exception %1 (%2) to %3").arg(code).arg(FrameDecoder::exceptionName(code), FrameDecoder::functionName(function));
}
