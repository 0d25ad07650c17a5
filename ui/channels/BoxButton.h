#pragma once

#include <QToolButton>

// The small flat icon buttons of a channel's box (save, delete, the description switch, a
// found device's save). Their icon fills the whole button, where the style draws its focus
// mark, so the button draws its own: a frame in the highlight colour while it has the keyboard
// focus. Tab reaches them; what Space would do is always in sight.
class BoxButton : public QToolButton
{
    Q_OBJECT
public:
    explicit BoxButton(QWidget *parent = nullptr);
    // The focus frame, drawn over what widget has painted (from its paint event).
    static void paintFocusFrame(QWidget *widget);

protected:
    void paintEvent(QPaintEvent *event) override;
};
