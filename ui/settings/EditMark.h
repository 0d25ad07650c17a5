#pragma once

class QWidget;

// The edit mark of a settings control: 1 while it shows the user's change that has not been
// sent yet, 0 while it shows the gateway's value. It is kept in the control itself, so every
// place that asks reads the same mark.
class EditMark
{
public:
    static int of(const QWidget *control);
    static bool isMarked(const QWidget *control) { return of(control) > 0; }
    static void set(QWidget *control, int mark);
};
