#pragma once

#include <QString>
#include <optional>

// The target channel typed for a device from a found-device list: the query's caption and
// prompt, the check of the typed number and the error text, by numbering mode (0 zero-based,
// 1 one-based) and line (0 or 1). A position is zero-based over both lines, 0..39.
class TargetPosition
{
public:
    // "Save device with index: 3"
    static QString caption(int index);
    // "Enter target position (channel number 0-19): " and the like.
    static QString prompt(int line, int numbering);
    // "Incorrect input. Enter a channel number 0 to 19." and the like.
    static QString errorText(int line, int numbering);
    // The position the text names: blanks around it are ignored, a one-based number is made
    // zero-based, and the position must lie on the line; nullopt otherwise.
    static std::optional<int> parse(const QString &text, int line, int numbering);
    // The same for a channel on either line, where no line is chosen beforehand (the command
    // line): "Incorrect input. Enter a channel number 0 to 39." and a position 0..39.
    static QString errorTextAnyLine(int numbering);
    static std::optional<int> parseAnyLine(const QString &text, int numbering);

private:
    // Positions first..first + count - 1, shown in the numbering mode.
    static QString rangeErrorText(int first, int count, int numbering);
    static std::optional<int> parseRange(const QString &text, int first, int count, int numbering);
};
