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
    widget->setToolTip(shortPart(hint));
    widget->setStatusTip(longPart(hint));
    // A button that shows only an icon is named by its short hint, so screen readers and UI
    // automation find it.
    if (auto *button = qobject_cast<QAbstractButton *>(widget); button && button->text().isEmpty())
        button->setAccessibleName(shortPart(hint));
}

void Hint::apply(QAction *action, const QString &hint)
{
    action->setToolTip(shortPart(hint));
    action->setStatusTip(longPart(hint));
}
