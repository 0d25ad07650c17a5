#pragma once

#include "RecorderRows.h"

// The data log's sampling period in whole seconds, kept per user in the settings store (group
// "Recorder", value "Period"); 60 when none or no valid one is stored. Beside it the form of the
// rows (value "Form": "plain" for the spreadsheets' form, anything else the classic one).
class RecorderSettings
{
public:
    static constexpr int DefaultPeriod = 60;
    static constexpr int MinPeriod = 1;
    static constexpr int MaxPeriod = 4294967; // the longest period a millisecond timer of 32 bits holds

    static int period();
    static void setPeriod(int seconds);
    static RecorderRows::Form form();
    static void setForm(RecorderRows::Form form);
};
