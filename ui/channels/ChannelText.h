#pragma once

#include "TChannelRecord.h"

#include <QLocale>
#include <QString>
#include <array>
#include <optional>

// What a channel's values and status mean, by device family: the texts and hints the sensor
// box, the CSV log and the command line show.
class ChannelText
{
public:
    struct Shown
    {
        QString text;
        QString hint; // "short|long", or just one text
    };

    // The kinds of Value1..Value5 for a family (0 reserved, 1 raw, 2 temperature, 3 humidity,
    // 4 current, 5 voltage, 6 iButton state, 7 connections counter, 8 connection indicator).
    static std::array<int, 5> kindsOf(uint8_t family);
    static QString familyHint(uint8_t family);
    // Value slot n (1..5) of a record, formatted by its kind with the locale's decimal point.
    static Shown value(int kind, int slot, uint16_t raw, uint16_t value1, const QLocale &locale = QLocale());
    static Shown valueOf(const TChannelRecord &record, int slot, const QLocale &locale = QLocale());
    static QString statusText(uint8_t status);
    // Whether a polled record has a device to show: a free position has none, and neither has
    // a channel whose ROM code is all 0xFFFF because its line is faulty or it was not read yet.
    static bool showsDevice(const TChannelRecord &record);
    // The code of the device a channel holds as its record shows it: none for a free position,
    // a record of no channel (never read), or a code that is no device's (all 0xFFFF: nothing
    // read there; all 0: nothing at all).
    static std::optional<std::array<uint16_t, 4>> heldRom(const TChannelRecord &record);
    // A measured value as the program shows and writes it: fixed decimals, the locale's decimal
    // separator and never a group separator ("1234,5", not "1.234,5").
    static QString decimal(double value, int decimals, const QLocale &locale = QLocale());
    // The same for files and other programs: a negative value starts with the ASCII "-" that
    // spreadsheets and scripts read as a sign, not with the locale's own minus (U+2212 in
    // Swedish, for one); the decimal separator stays the locale's.
    static QString plainDecimal(double value, int decimals, const QLocale &locale = QLocale());
    // A shown text with the locale's minus sign at its start replaced by the ASCII "-".
    static QString withPlainMinus(const QString &text, const QLocale &locale = QLocale());
    // "V1.09" for 109, "V1.10" for 110, "V0.05" for 5.
    static QString FormatVersion(uint16_t word);
    // The text of an operation status word of the search commands.
    static QString StatusText(uint16_t word);
};
