#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

// Dates and times as the tool's files write them: the date as "d.m.yyyy" and the time as
// "h:mm:ss" with the user's time separator in place of the colons.
class LocaleText
{
public:
    static QChar timeSeparator(const QLocale &locale = QLocale());
    static QString date(const QDate &date);
    static QString time(const QTime &time, const QLocale &locale = QLocale());
};
