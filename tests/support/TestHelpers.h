#pragma once

#include "ComPortError.h"

#include <QByteArray>
#include <QString>

// Empties the settings store of this test program (each has its own, in a temporary folder).
void clearStoredSettings();

// Writes bytes as the whole content of the file at path; false when that fails.
bool writeFile(const QString &path, const QByteArray &bytes);

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
