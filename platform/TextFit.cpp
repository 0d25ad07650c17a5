#include "TextFit.h"

#include <QFontMetrics>
#include <optional>

namespace {

// The font at size (in its own unit, points or pixels).
QFont sized(const QFont &font, qreal size)
{
    QFont f = font;
    if (font.pixelSize() > 0)
        f.setPixelSize(qMax(1, qRound(size)));
    else
        f.setPointSizeF(size);
    return f;
}

qreal sizeOf(const QFont &font)
{
    return font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF();
}

// The largest of the sizes from size down to floor, in half steps, at which text fits.
std::optional<QFont> shrunk(const QFont &font, const QString &text, const QSize &space, qreal floor)
{
    for (qreal size = sizeOf(font) - 0.5; size >= floor; size -= 0.5) {
        const QFont f = sized(font, size);
        if (TextFit::fits(f, text, space))
            return f;
    }
    return std::nullopt;
}

} // namespace

bool TextFit::fits(const QFont &font, const QString &text, const QSize &space)
{
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(text) <= space.width() && metrics.height() <= space.height();
}

TextFit::Result TextFit::fit(const QFont &font, const QString &text, const QSize &space, bool unitLast)
{
    if (text.isEmpty() || fits(font, text, space))
        return {font, text};
    // Down to three quarters of the size the whole text is kept; a smaller text is harder to
    // read than one without its unit (the unit is in the value's hint).
    const qreal size = sizeOf(font);
    const qreal floor = unitLast ? qMax<qreal>(SmallestSize, size * 3 / 4) : SmallestSize;
    if (const auto f = shrunk(font, text, space, floor))
        return {*f, text};
    QString bare = text;
    const int blank = text.lastIndexOf(QLatin1Char(' '));
    if (blank > 0)
        bare = text.left(blank);
    if (fits(font, bare, space))
        return {font, bare};
    if (const auto f = shrunk(font, bare, space, SmallestSize))
        return {*f, bare};
    return {sized(font, SmallestSize), bare};
}
