#pragma once

#include "TErrorSplit.h"

#include <QDialog>
#include <QTimer>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class TrafficFilter;
class TrafficLog;
class TrafficTableModel;

// The traffic monitor: every frame on the gateway link with its time, direction, bytes and
// meaning, taken from the frame log in batches a few times a second. Pause stops taking new
// frames (the log goes on), Clear empties the log, "Errors only" shows the frames with a fault.
// The filter row shows only the frames of one function, one kind of error, or holding a text;
// the frames hidden stay in the log and come back when the filter is cleared. A line at the
// bottom tells the error counter apart by kind.
class TForm_TrafficMonitor : public QDialog
{
    Q_OBJECT
public:
    static constexpr int RefreshMs = 1000;

    // The log is not owned; it must outlive the window.
    explicit TForm_TrafficMonitor(TrafficLog &log, QWidget *parent = nullptr);

    TrafficTableModel *model() const { return m_model; }
    TrafficFilter *filter() const { return m_filter; }
    // Where the error counter's split comes from (the link's counters).
    void setErrorSource(std::function<TErrorSplit()> source);
    // Takes what is new in the log (the window's timer does this while not paused).
    void refresh();
    void saveAsText();
    // The rows shown (after the filter), as saved: one tab-separated line each.
    QStringList shownLines() const;

    QTableView *Table_Frames;
    QPushButton *Button_Pause;
    QPushButton *Button_Clear;
    QCheckBox *CheckBox_ErrorsOnly;
    QPushButton *Button_Save;
    QComboBox *Combo_Function;
    QComboBox *Combo_Fault;
    QLineEdit *Edit_Filter;
    QLabel *Label_Errors;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showErrors();

    TrafficLog &m_log;
    TrafficTableModel *m_model;
    TrafficFilter *m_filter;
    std::function<TErrorSplit()> m_errors;
    QTimer m_refresh;
};
