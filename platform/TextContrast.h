#pragma once

#include <QColor>

// Legibility of text on a background as the usual guidelines measure it: the relative
// luminance of a colour, the contrast of two colours (1 to 21), and a text colour kept as
// close to the one wanted as the background allows while reaching the contrast asked for.
class TextContrast
{
public:
    // What normal-sized text needs to be read by anyone, low vision included.
    static constexpr double Readable = 4.5;

    // 0 (black) to 1 (white), from the sRGB components made linear.
    static double luminance(const QColor &colour);
    // (lighter + 0.05) / (darker + 0.05): 1 for equal colours, 21 for black on white.
    static double ratio(const QColor &a, const QColor &b);
    // wanted itself when it reaches minimum on background; otherwise wanted with its hue and
    // saturation kept, made lighter or darker (lighter first when it is the lighter of the two
    // and white would reach minimum) by the least step that reaches it. Black or white always
    // reaches 4.5 on any background, so a minimum up to that is always met.
    static QColor readable(const QColor &wanted, const QColor &background, double minimum = Readable);
};
