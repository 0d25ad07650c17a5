#pragma once

#include <QString>
#include <cstdint>

// Texts of the hidden traffic panels.
class FrameDump
{
public:
    // Each byte in decimal followed by "; ", with a carriage return before the 1st, 11th,
    // 21st... byte.
    static QString bytes(const uint8_t *data, int length);
    // "<title>" + the dump + a carriage return + the date and time in the user's format.
    static QString panelText(const QString &title, const uint8_t *data, int length);
};
