#include "TargetPosition.h"

#include "RegisterMap.h"

namespace {
// The first and last channel number as shown for the line in this numbering.
int firstShown(int line, int numbering)
{
    return line * ChannelMap::ChannelsPerLine + (numbering == 1 ? 1 : 0);
}
} // namespace

QString TargetPosition::caption(int index)
{
    return QStringLiteral("Save device with index: %1").arg(index);
}

QString TargetPosition::prompt(int line, int numbering)
{
    const int first = firstShown(line, numbering);
    return QStringLiteral("Enter target position (channel number %1-%2): ").arg(first).arg(first + ChannelMap::ChannelsPerLine - 1);
}

QString TargetPosition::errorText(int line, int numbering)
{
    const int first = firstShown(line, numbering);
    return QStringLiteral("Incorrect input. Enter a channel number %1 to %2.").arg(first).arg(first + ChannelMap::ChannelsPerLine - 1);
}

std::optional<int> TargetPosition::parse(const QString &text, int line, int numbering)
{
    bool ok = false;
    int position = text.trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    if (numbering == 1)
        --position;
    const int first = line * ChannelMap::ChannelsPerLine;
    if (position < first || position >= first + ChannelMap::ChannelsPerLine)
        return std::nullopt;
    return position;
}
