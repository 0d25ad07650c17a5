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

    // Rows 1-3 (written padded to 41 cells) and rows 4-7; channels are the 40 channels in
    // position order with their shown number, ROM code and description.
    static QList<QStringList> header(const QList<TDescriptionRecord> &channels);
    // fresh[i] tells whether records[i] was read since the previous row; a record not read
    // since gives an empty cell, since the log holds only what was measured for that row. An
    // empty fresh list takes every record as read.
    static QStringList dataRow(const QDateTime &at, const QList<TChannelRecord> &records,
                               const QList<bool> &fresh = {}, const QLocale &locale = QLocale());
    // "21.5 °C" for a thermometer's Value1, "" for a device that measures no temperature or a
    // reading that failed (a status other than OK).
    static QString temperature(const TChannelRecord &record, const QLocale &locale = QLocale());
};
