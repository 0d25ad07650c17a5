#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// An exception answer among the bytes the gateway sent: the poll cycle drains write echoes and
// refusals together, so the bytes are walked frame by frame (each frame's length follows from
// its function code) as long as every frame's CRC holds.
class ModbusException
{
public:
    uint8_t function = 0; // the request's function code
    uint8_t code = 0;

    static std::optional<ModbusException> find(const QByteArray &bytes);
    // "Modbus exception 3 (illegal data value) to write single register"
    QString text() const;
};
