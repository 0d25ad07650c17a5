#pragma once

#include <QString>
#include <cstdint>

// One channel's line of the description file: its shown number (as a byte and as text), its
// ROM code text and the user's description.
struct TDescriptionRecord
{
    uint8_t number = 0;
    QString numberText;
    QString romHex;
    QString description;

    friend bool operator==(const TDescriptionRecord &, const TDescriptionRecord &) = default;
};
