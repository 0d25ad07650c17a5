#include "RomCodeEntry.h"

QString RomCodeEntry::caption(int displayNumber)
{
    return QStringLiteral("ROM Code - Channel %1").arg(displayNumber);
}

QString RomCodeEntry::crcQuestion(const QString &code)
{
    return QStringLiteral("ROM code %1 fails its CRC check: a typing error? Write it anyway?").arg(code);
}

QString RomCodeEntry::prompt()
{
    return QStringLiteral("Write a new value in HEX format: \r\nFF-FF-FF-FF-FF-FF-FF-FF");
}

