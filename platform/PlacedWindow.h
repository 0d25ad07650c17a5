#pragma once

#include <QSize>

class QWidget;

// Places a top-level window at its designed size on the primary screen by WindowPlacement:
// centred and of fixed size when the whole window, frame included, fits the work area;
// otherwise left sizeable, for the caller to show maximised.
class PlacedWindow
{
public:
    // Returns whether the window is to start maximised.
    static bool place(QWidget &window, const QSize &designed);
};
