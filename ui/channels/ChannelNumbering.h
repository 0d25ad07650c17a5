#pragma once

#include <QString>

// How channels 1..40 are shown. With the program-wide numbering flag at 0 (the start value,
// which nothing in the program changes) line 1 shows 0..19 and line 2 20..39; with 1 they show
// the channel itself. In commands and hints a channel is channel - 1 as two hex digits.
class ChannelNumbering
{
public:
    static int flag();
    static void setFlag(int flag);
    static int displayNumber(int channel, int flag);
    static int displayNumber(int channel) { return displayNumber(channel, flag()); }
    // "00".."27"
    static QString commandByte(int channel);
};
