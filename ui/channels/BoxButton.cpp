#include "BoxButton.h"

#include <QPainter>

BoxButton::BoxButton(QWidget *parent) : QToolButton(parent)
{
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
}

void BoxButton::paintEvent(QPaintEvent *event)
{
    QToolButton::paintEvent(event);
    if (hasFocus())
        paintFocusFrame(this);
}

void BoxButton::paintFocusFrame(QWidget *widget)
{
    QPainter painter(widget);
    QPen pen(widget->palette().color(QPalette::Highlight));
    pen.setWidth(2);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.drawRect(QRectF(widget->rect()).adjusted(1, 1, -1, -1));
}
