#pragma once

#include "ComPortError.h"

#include <QString>

// Empties the user's stored settings of the tool (tests run with their own settings folder).
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
