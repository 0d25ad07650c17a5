#include "WidgetColour.h"

#include <QWidget>

void WidgetColour::set(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette p = widget->palette();
    p.setColor(role, colour);
    widget->setPalette(p);
}

void WidgetColour::setBackground(QWidget *widget, const QColor &colour)
{
    widget->setAutoFillBackground(true);
    set(widget, QPalette::Window, colour);
}
