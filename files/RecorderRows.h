#pragma once

#include "TChannelRecord.h"
#include "TDescriptionRecord.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QStringList>

// The cells of the data log: seven header rows (program, file, an empty row, channel numbers
// as shown, ROM codes, descriptions, column titles) and one row per sample with the date and
// time and the temperature of every channel whose device measures one.
class RecorderRows
{
public:
    static constexpr int CellCount = 41;

    // How the data rows write times and temperatures. Classic, the logs' own form that existing
    // files and their readers expect: "8.12.2026 7:04:09" with the user's time separator, and
    // "21.5 °C" with the user's decimal separator. Plain, for spreadsheets: the local time in
    // ISO 8601 with its offset ("2026-12-08T07:04:09+01:00") and bare numbers with a decimal
    // point ("21.5"); the unit stays in the header's column titles. The header is the same.
    enum class Form { Classic, Plain };
    // The locale a log of this form writes in: the user's for Classic; for Plain the C locale,
    // so numbers carry a point and cells are divided by commas wherever the log is written.
    static QLocale localeOf(Form form);
    // "2026-12-08T07:04:09+01:00": at as local time with its offset from UTC.
    static QString isoTime(const QDateTime &at);

    // Rows 1-3 (written padded to 41 cells) and rows 4-7; channels are the 40 channels in
    // position order with their shown number, ROM code and description.
    static QList<QStringList> header(const QList<TDescriptionRecord> &channels);
    // fresh[i] tells whether records[i] was read since the previous row; a record not read
    // since gives an empty cell, since the log holds only what was measured for that row. An
    // empty fresh list takes every record as read.
    // In the Plain form the locale is not used: see localeOf().
    static QStringList dataRow(const QDateTime &at, const QList<TChannelRecord> &records,
                               const QList<bool> &fresh = {}, const QLocale &locale = QLocale(),
                               Form form = Form::Classic);
    // "21.5 °C" for a thermometer's Value1 ("21.5" in the Plain form), "" for a device that
    // measures no temperature or a reading that failed (a status other than OK).
    static QString temperature(const TChannelRecord &record, const QLocale &locale = QLocale(),
                               Form form = Form::Classic);
};
