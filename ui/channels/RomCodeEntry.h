#pragma once

#include <QString>

// The texts of typing a channel's ROM code by hand: the query's caption and prompt, and the
// two error texts of the entry dialog.
class RomCodeEntry
{
public:
    // "ROM Code - Channel 5", with the channel number as shown.
    static QString caption(int displayNumber);
    // "Write a new value in HEX format: " and, on a second line, the pattern.
    static QString prompt();
    static QString invalidInputText() { return QStringLiteral("   Invalid input data.   "); }
    static QString missingCharacterText() { return QStringLiteral("   Missing character.   "); }
    // The question before a code that fails its 1-Wire CRC is written.
    static QString crcQuestion(const QString &code);
};
