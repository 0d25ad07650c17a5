#pragma once

#include "GatewayModel.h"

#include <QByteArray>

// The Modbus RTU slave side of the simulated gateway: functions 03, 06 and 16 on the model's
// registers, with the exception answers 01 (unknown function), 02 (address outside the map)
// and 03 (bad quantity or value). A frame with a wrong CRC or another slave's address gets no
// answer; a broadcast (address 0) write is carried out without one.
class ModbusSlave
{
public:
    ModbusSlave(GatewayModel &model, uint8_t address) : m_model(model), m_address(address) {}

    uint8_t address() const { return m_address; }

    // The length of the request at the start of buffer as its function code tells it; 0 while
    // too few bytes are there to tell; -1 for a function whose length is unknown (the frame then
    // ends where the line goes quiet).
    static int expectedLength(const QByteArray &buffer);
    // The answer to one complete frame; empty when no answer is due.
    QByteArray handle(const QByteArray &frame);

    // The exception answer with this slave's address.
    QByteArray exception(uint8_t function, uint8_t code) const;

private:

    GatewayModel &m_model;
    uint8_t m_address;
};
