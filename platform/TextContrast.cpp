#include "TextContrast.h"

#include <cmath>

namespace {

double linear(double component)
{
    return component <= 0.04045 ? component / 12.92 : std::pow((component + 0.055) / 1.055, 2.4);
}

// wanted with its HSL lightness moved towards 1 (lighter) or 0, in the least of 100 steps
// that reaches minimum on background; invalid when even the end (white or black) does not.
QColor stepTowards(const QColor &wanted, const QColor &background, double minimum, bool lighter)
{
    const QColor hsl = wanted.toHsl();
    const double start = hsl.lightnessF();
    const double end = lighter ? 1.0 : 0.0;
    constexpr int Steps = 100;
    for (int i = 1; i <= Steps; ++i) {
        const double lightness = start + (end - start) * i / Steps;
        const QColor candidate =
            QColor::fromHslF(qMax(0.0f, hsl.hslHueF()), hsl.hslSaturationF(), float(lightness)).toRgb();
        if (TextContrast::ratio(candidate, background) >= minimum)
            return candidate;
    }
    return QColor();
}

} // namespace

double TextContrast::luminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

double TextContrast::ratio(const QColor &a, const QColor &b)
{
    const double la = luminance(a) + 0.05;
    const double lb = luminance(b) + 0.05;
    return la > lb ? la / lb : lb / la;
}

QColor TextContrast::readable(const QColor &wanted, const QColor &background, double minimum)
{
    if (ratio(wanted, background) >= minimum)
        return wanted;
    // Changed at all, the text goes as far as the stronger contrast where the background
    // allows it, so it does not end up at the edge of legibility; on its own side of the
    // background where that side reaches the minimum (a lighter red on a dark window), else
    // across it (dark text in place of a dark scheme's light text on a light status colour).
    const bool lighter = luminance(wanted) >= luminance(background);
    for (const bool up : {lighter, !lighter}) {
        const double end = ratio(up ? QColor(Qt::white) : QColor(Qt::black), background);
        if (end < minimum)
            continue;
        if (const QColor found = stepTowards(wanted, background, qMax(minimum, qMin(Strong, end)), up); found.isValid())
            return found;
    }
    // Asked for more than this background allows: the better of black and white.
    return ratio(Qt::white, background) >= ratio(Qt::black, background) ? QColor(Qt::white) : QColor(Qt::black);
}
