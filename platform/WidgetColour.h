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
    // The widget's own background, painted.
    static void setBackground(QWidget *widget, const QColor &colour);
    // Text that no longer counts as current: halfway between the palette's window text and
    // its window, so it reads as faded yet stays legible on that window in light and dark
    // palettes alike.
    static QColor faded(const QPalette &palette);
};
