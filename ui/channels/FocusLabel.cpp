#include "FocusLabel.h"

#include "BoxButton.h"

#include <QKeyEvent>
#include <QMouseEvent>

FocusLabel::FocusLabel(QWidget *parent) : QLabel(parent)
{
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

void FocusLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (hasFocus())
        BoxButton::paintFocusFrame(this);
}

void FocusLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit activated();
    else
        QLabel::mouseReleaseEvent(event);
}

void FocusLabel::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
    case Qt::Key_Space:
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            emit activated();
            return;
        }
        break;
    default:
        break;
    }
    QLabel::keyPressEvent(event);
}
