#pragma once

#include <QFont>
#include <QSize>
#include <QString>

// Fits a short text (a value with its unit, a channel name, a ROM code) into a fixed space
// without cutting any of it: the font shrinks in steps down to a floor; a text with a unit
// after its last blank that still does not fit loses the unit; the rest shrinks on until it
// fits or the smallest size is reached. A sign or a digit is never dropped.
class TextFit
{
public:
    struct Result
    {
        QFont font;
        QString text;
    };
    // The least font size tried, in points (pixels for a font sized in pixels).
    static constexpr int SmallestSize = 5;

    // font and text themselves when the text fits space at font. A text whose last word is not
    // a unit (a status, a name) is only shrunk: unitLast false.
    static Result fit(const QFont &font, const QString &text, const QSize &space, bool unitLast = true);
    // Whether text at font fits space: as wide as its advance and as high as a line.
    static bool fits(const QFont &font, const QString &text, const QSize &space);
};
