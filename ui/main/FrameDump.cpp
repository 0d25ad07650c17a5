#include "FrameDump.h"

#include <QDateTime>
#include <QLocale>

QString FrameDump::bytes(const uint8_t *data, int length)
{
    // Built as Latin-1 in one buffer: the panels are refreshed with every frame (up to 205
    // bytes, several times a second), so the dump must cost next to nothing.
    QByteArray text;
    text.reserve(length * 5 + length / 10 + 1);
    for (int i = 0; i < length; ++i) {
        if (i % 10 == 0)
            text += '\r';
        const int b = data[i];
        if (b >= 100)
            text += char('0' + b / 100);
        if (b >= 10)
            text += char('0' + b / 10 % 10);
        text += char('0' + b % 10);
        text += "; ";
    }
    return QString::fromLatin1(text);
}

QString FrameDump::panelText(const QString &title, const uint8_t *data, int length)
{
    // The user's short date and time format shows minutes at most, so the text is made once
    // a minute; the system clock is asked without the time zone (a file read) in between.
    static qint64 cachedMinute = -1;
    static QString cachedTime;
    const qint64 minute = QDateTime::currentMSecsSinceEpoch() / 60000;
    if (minute != cachedMinute) {
        cachedTime = QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
        cachedMinute = minute;
    }
    return title + bytes(data, length) + QLatin1Char('\r') + cachedTime;
}
