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

QColor WidgetColour::faded(const QPalette &palette)
{
    const QColor text = palette.color(QPalette::WindowText);
    const QColor back = palette.color(QPalette::Window);
    const auto mix = [](int a, int b) { return (a + b) / 2; };
    return QColor(mix(text.red(), back.red()), mix(text.green(), back.green()), mix(text.blue(), back.blue()));
}
