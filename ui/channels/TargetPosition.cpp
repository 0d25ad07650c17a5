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
    return rangeErrorText(line * ChannelMap::ChannelsPerLine, ChannelMap::ChannelsPerLine, numbering);
}

std::optional<int> TargetPosition::parse(const QString &text, int line, int numbering)
{
    return parseRange(text, line * ChannelMap::ChannelsPerLine, ChannelMap::ChannelsPerLine, numbering);
}

QString TargetPosition::errorTextAnyLine(int numbering)
{
    return rangeErrorText(0, ChannelMap::ChannelCount, numbering);
}

std::optional<int> TargetPosition::parseAnyLine(const QString &text, int numbering)
{
    return parseRange(text, 0, ChannelMap::ChannelCount, numbering);
}

QString TargetPosition::rangeErrorText(int first, int count, int numbering)
{
    const int shown = first + (numbering == 1 ? 1 : 0);
    return QStringLiteral("Incorrect input. Enter a channel number %1 to %2.").arg(shown).arg(shown + count - 1);
}

std::optional<int> TargetPosition::parseRange(const QString &text, int first, int count, int numbering)
{
    bool ok = false;
    int position = text.trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    if (numbering == 1)
        --position;
    if (position < first || position >= first + count)
        return std::nullopt;
    return position;
}
