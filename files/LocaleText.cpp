#include "LocaleText.h"

QChar LocaleText::timeSeparator(const QLocale &locale)
{
    // The first character between the hour and the minutes of the locale's time format.
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    const int hour = format.indexOf(QLatin1Char('h'), 0, Qt::CaseInsensitive);
    if (hour >= 0)
        for (int i = hour; i < format.size(); ++i) {
            const QChar c = format.at(i);
            if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('\''))
                return c;
        }
    return QLatin1Char(':');
}

QString LocaleText::date(const QDate &date)
{
    return date.toString(QStringLiteral("d.M.yyyy"));
}

QString LocaleText::time(const QTime &time, const QLocale &locale)
{
    const QChar sep = timeSeparator(locale);
    return QStringLiteral("%1%2%3%2%4")
        .arg(time.hour())
        .arg(sep)
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'));
}
