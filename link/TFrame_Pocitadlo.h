#pragma once

#include <QFrame>

class QLabel;
struct TErrorSplit;

// Four labels showing the message counters inside the connection panel: Tx (window text),
// Err (red), Rx (blue) and the timeout state (red, hidden until a timeout), the red and blue in
// shades that read on the window's colour. The connection panel writes them; the frame has no
// behaviour of its own. Its tooltip tells Err apart by kind.
class TFrame_Pocitadlo : public QFrame
{
    Q_OBJECT
public:
    explicit TFrame_Pocitadlo(QWidget *parent = nullptr);

    // Gives the panel its width and fixes the labels at the places the layout gives them, so
    // that a new count (with every frame) repaints its label and re-lays out nothing.
    void fixWidth(int width);
    // The tooltip of the whole panel: Err split into timeouts, CRC errors, exceptions, foreign
    // answers and noise.
    void showErrors(const TErrorSplit &errors);

    QLabel *Label_Tx;
    QLabel *Label_Error;
    QLabel *Label_Rx;
    QLabel *Label_Timeout;

protected:
    // A new colour scheme: the red and blue are chosen again for its window.
    void changeEvent(QEvent *event) override;

private:
    void applyColours();
};
