#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where the main window starts: centred in the screen's work area when the work area is
// strictly larger than the whole window (frame included) in both directions, and maximised
// otherwise.
struct WindowPlacement
{
    bool maximised = false;
    QPoint topLeft; // of the frame, when not maximised

    static WindowPlacement place(const QSize &outer, const QRect &workArea);
};
