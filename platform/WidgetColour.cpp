#include "WidgetColour.h"

#include <QWidget>

void WidgetColour::set(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    // Boxes are coloured again with every record they show. A colour this function already
    // set, and that the widget still has, is left alone: setting the palette again costs a
    // palette resolution and change events for the widget and all its children.
    const QByteArray key = "_widgetColour" + QByteArray::number(int(role));
    if (widget->property(key.constData()).value<QColor>() == colour && widget->palette().color(role) == colour)
        return;
    QPalette p = widget->palette();
    p.setColor(role, colour);
    widget->setPalette(p);
    widget->setProperty(key.constData(), colour);
}

void WidgetColour::setBackground(QWidget *widget, const QColor &colour)
{
    widget->setAutoFillBackground(true);
    set(widget, QPalette::Window, colour);
}
