#pragma once

#include <QObject>

// Prints "shown NS" (the steady clock in nanoseconds) on standard error when the watched window
// is painted for the first time, then removes itself: the start-up benchmark reads it.
class FirstPaintReporter : public QObject
{
public:
    static void install(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
