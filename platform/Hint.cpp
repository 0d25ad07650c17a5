#include "Hint.h"

#include <QAbstractButton>
#include <QAction>
#include <QWidget>

QString Hint::shortPart(const QString &hint)
{
    return hint.section(QLatin1Char('|'), 0, 0);
}

QString Hint::longPart(const QString &hint)
{
    const int bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.mid(bar + 1);
}

void Hint::apply(QWidget *widget, const QString &hint)
{
    // Hints are applied again with every record a box shows; an unchanged hint sends no
    // change events.
    const QString tip = shortPart(hint);
    if (widget->toolTip() != tip)
        widget->setToolTip(tip);
    const QString status = longPart(hint);
    if (widget->statusTip() != status)
        widget->setStatusTip(status);
    // A button that shows only an icon is named by its short hint, so screen readers and UI
    // automation find it.
    if (auto *button = qobject_cast<QAbstractButton *>(widget); button && button->text().isEmpty()
        && button->accessibleName() != tip)
        button->setAccessibleName(tip);
}

void Hint::apply(QAction *action, const QString &hint)
{
    action->setToolTip(shortPart(hint));
    action->setStatusTip(longPart(hint));
}
