#include "ChannelNumbering.h"

namespace {
int g_flag = 0;
}

int ChannelNumbering::flag()
{
    return g_flag;
}

void ChannelNumbering::setFlag(int flag)
{
    g_flag = flag == 1 ? 1 : 0;
}

int ChannelNumbering::displayNumber(int channel, int flag)
{
    return flag == 1 ? channel : channel - 1;
}

QString ChannelNumbering::commandByte(int channel)
{
    return QStringLiteral("%1").arg(channel - 1, 2, 16, QLatin1Char('0')).toUpper();
}
