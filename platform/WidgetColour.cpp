#include "WidgetColour.h"

#include "TextContrast.h"

#include <QGuiApplication>
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
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, colour);
    p.setColor(QPalette::WindowText,
               TextContrast::readable(QGuiApplication::palette().color(QPalette::WindowText), colour));
    widget->setPalette(p);
}

void WidgetColour::setReadableText(QWidget *widget, const QColor &wanted, const QColor &background)
{
    set(widget, QPalette::WindowText, TextContrast::readable(wanted, background));
}

QColor WidgetColour::faded(const QPalette &palette)
{
    const QColor text = palette.color(QPalette::WindowText);
    const QColor back = palette.color(QPalette::Window);
    const auto mix = [](int a, int b) { return (a + b) / 2; };
    return QColor(mix(text.red(), back.red()), mix(text.green(), back.green()), mix(text.blue(), back.blue()));
}
