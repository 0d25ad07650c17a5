#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

// Builds frames for tests from readable hex ("01 03 00 00").
QByteArray hexBytes(const char *spacedHex);
// A frame with its Modbus CRC appended (low byte first).
QByteArray withCrc(const QByteArray &body);
// A function 03 answer carrying the given registers, with a valid CRC.
QByteArray readAnswer(uint8_t address, const QList<uint16_t> &registers);
// The service block of a gateway with its port settings in range and this answer delay.
QList<uint16_t> serviceRegisters(uint16_t answerDelayMs = 0);
