#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

// A small window that shows how far a long piece of work has got: its caption, a text and a
// bar whose maximum and position the work sets. It has no logic of its own.
class TForm_ProgressDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TForm_ProgressDialog(QWidget *parent = nullptr);

    void setMaximum(int maximum);
    void setPosition(int position);
    void setText(const QString &text);

    QLabel *Label_Progress;
    QProgressBar *Gauge1;
};
