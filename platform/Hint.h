#pragma once

#include <QString>

class QAction;
class QWidget;

// Hints hold a short and a long text separated by "|": the short one is the tooltip, the long
// one goes to the status bar. A hint without "|" uses its whole text for both. A button without
// a text of its own (an icon) also takes the short hint as its accessible name.
class Hint
{
public:
    static QString shortPart(const QString &hint);
    static QString longPart(const QString &hint);
    static void apply(QWidget *widget, const QString &hint);
    static void apply(QAction *action, const QString &hint);
};
