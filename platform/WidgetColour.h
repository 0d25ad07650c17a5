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
};
