#include "FrameDump.h"

#include <QDateTime>
#include <QLocale>

QString FrameDump::bytes(const uint8_t *data, int length)
{
    QString text;
    for (int i = 0; i < length; ++i) {
        if (i % 10 == 0)
            text += QLatin1Char('\r');
        text += QString::number(data[i]) + QStringLiteral("; ");
    }
    return text;
}

QString FrameDump::panelText(const QString &title, const uint8_t *data, int length)
{
    return title + bytes(data, length) + QLatin1Char('\r')
           + QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
}
