#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

// A small window that shows how far a long piece of work has got: its caption, a text and a
// bar whose maximum and position the work sets. Only the work ends it: Esc and the window's
// close request are ignored, so the work never runs on unseen.
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

    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
};
