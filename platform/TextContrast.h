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
    // The stronger level, aimed at where the wanted colour does not read.
    static constexpr double Strong = 7.0;

    // 0 (black) to 1 (white), from the sRGB components made linear.
    static double luminance(const QColor &colour);
    // (lighter + 0.05) / (darker + 0.05): 1 for equal colours, 21 for black on white.
    static double ratio(const QColor &a, const QColor &b);
    // wanted itself when it reaches minimum on background; otherwise wanted with its hue and
    // saturation kept, made lighter or darker by the least step that reaches Strong (or, where
    // the background does not allow that, minimum or what black or white gives): on its own
    // side of the background where that side reaches minimum, else across it. Black or white
    // always reaches 4.5 on any background, so a minimum up to that is always met.
    static QColor readable(const QColor &wanted, const QColor &background, double minimum = Readable);
};
