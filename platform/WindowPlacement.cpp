#include "WindowPlacement.h"

WindowPlacement WindowPlacement::place(const QSize &outer, const QRect &workArea)
{
    WindowPlacement p;
    if (workArea.height() > outer.height() && workArea.width() > outer.width()) {
        // Integer division rounds toward zero, as the designed placement does.
        p.topLeft = QPoint(workArea.left() + (workArea.width() - outer.width()) / 2,
                           workArea.top() + (workArea.height() - outer.height()) / 2);
    } else {
        p.maximised = true;
    }
    return p;
}
