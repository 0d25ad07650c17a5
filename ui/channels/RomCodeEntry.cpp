#include "RomCodeEntry.h"

QString RomCodeEntry::caption(int displayNumber)
{
    return QStringLiteral("ROM Code - Channel %1").arg(displayNumber);
}

QString RomCodeEntry::prompt()
{
    return QStringLiteral("Write a new value in HEX format: \r\nFF-FF-FF-FF-FF-FF-FF-FF");
}

