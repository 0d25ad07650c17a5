#pragma once

#include <QDialog>
#include <QTimer>

class QCheckBox;
class QPushButton;
class QTableView;
class TrafficLog;
class TrafficTableModel;

// The traffic monitor: every frame on the gateway link with its time, direction, bytes and
// meaning, taken from the frame log in batches a few times a second. Pause stops taking new
// frames (the log goes on), Clear empties the log, "Errors only" shows the frames with a fault.
class TForm_TrafficMonitor : public QDialog
{
    Q_OBJECT
public:
    static constexpr int RefreshMs = 1000;

    // The log is not owned; it must outlive the window.
    explicit TForm_TrafficMonitor(TrafficLog &log, QWidget *parent = nullptr);

    TrafficTableModel *model() const { return m_model; }
    // Takes what is new in the log (the window's timer does this while not paused).
    void refresh();
    void saveAsText();

    QTableView *Table_Frames;
    QPushButton *Button_Pause;
    QPushButton *Button_Clear;
    QCheckBox *CheckBox_ErrorsOnly;
    QPushButton *Button_Save;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    TrafficLog &m_log;
    TrafficTableModel *m_model;
    QTimer m_refresh;
};
