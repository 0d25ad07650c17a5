#pragma once

#include "ComPortError.h"

#include <QString>

// Empties the settings store of this test program (each has its own, in a temporary folder).
void clearStoredSettings();

// The text of the ComPortError that body throws, or "" when it throws none.
template<typename F>
QString comPortErrorText(F body)
{
    try {
        body();
    } catch (const ComPortError &e) {
        return e.text();
    }
    return {};
}
