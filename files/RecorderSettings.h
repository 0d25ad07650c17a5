#pragma once

// The data log's sampling period in whole seconds, kept per user in the settings store (group
// "Recorder", value "Period"); 60 when none or no valid one is stored.
class RecorderSettings
{
public:
    static constexpr int DefaultPeriod = 60;
    static constexpr int MinPeriod = 1;
    static constexpr int MaxPeriod = 4294967; // the longest period a millisecond timer of 32 bits holds

    static int period();
    static void setPeriod(int seconds);
};
