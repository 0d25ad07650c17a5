#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

// Colours a widget through its palette, as the displays do for states (box and tab colours,
// red and blue counters).
class WidgetColour
{
public:
    static void set(QWidget *widget, QPalette::ColorRole role, const QColor &colour);
    // The widget's own background, painted, and its text in the application's window text, or
    // where that does not read well on colour (a dark scheme's light text on a light status
    // colour), in the nearest colour that does.
    static void setBackground(QWidget *widget, const QColor &colour);
    // The widget's text in wanted, or the nearest colour to it that reads well on background.
    static void setReadableText(QWidget *widget, const QColor &wanted, const QColor &background);
    // Text that no longer counts as current: halfway between the palette's window text and
    // its window, so it reads as faded yet stays legible on that window in light and dark
    // palettes alike.
    static QColor faded(const QPalette &palette);
};
