#pragma once

#include <QLabel>

// A label that stands for an editor, as a box's ROM code or description does: a click, or
// Enter, Return, F2 or Space while it has the keyboard focus (Tab reaches it), asks for the
// editor. While focused it shows a frame in the highlight colour, as the box's buttons do.
class FocusLabel : public QLabel
{
    Q_OBJECT
public:
    explicit FocusLabel(QWidget *parent = nullptr);

signals:
    void activated();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
