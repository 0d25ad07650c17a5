#pragma once

#include <QByteArray>

// Noise that fools a receiver which takes any window of the answer's length whose last two
// bytes are a right CRC: put before an answer, it makes the first window (the noise and the
// answer's head) end in a valid CRC although it is no frame at all. CRC-16/MODBUS is linear and
// each step can be undone, so two noise bytes chosen after the rest fix any CRC value.
class CrcCollision
{
public:
    // prefix plus two bytes, such that (result + answer).left(window) ends in its own CRC.
    // window must not exceed the answer's length plus the result's.
    static QByteArray noiseBefore(const QByteArray &answer, int window, const QByteArray &prefix);
};
