#include "RomCode.h"

#include "OneWireCrc.h"

QString RomCode::toText(const Words &words)
{
    QString text;
    for (uint16_t w : words)
        text += QStringLiteral("%1").arg(w, 4, 16, QLatin1Char('0')).toUpper();
    return text;
}

bool RomCode::ParseRomCode(const QString &text, Words &words)
{
    if (text.size() != 16)
        return false;
    for (QChar c : text)
        if (!isHexDigit(c))
            return false;
    bool ok = false;
    const quint64 value = text.toULongLong(&ok, 16);
    if (!ok)
        return false;
    words = {uint16_t(value >> 48), uint16_t(value >> 32), uint16_t(value >> 16), uint16_t(value)};
    return true;
}

bool RomCode::isNoDevice(const Words &words)
{
    return words == Words{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
}

bool RomCode::isEmpty(const Words &words)
{
    return words == Words{0, 0, 0, 0};
}

bool RomCode::isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
           || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

bool RomCode::crcValid(const Words &words)
{
    uint8_t bytes[7];
    for (int i = 0; i < 7; ++i)
        bytes[i] = uint8_t(words[size_t(i / 2)] >> (i % 2 ? 0 : 8));
    return OneWireCrc::compute(bytes, 7) == uint8_t(words[3]);
}
