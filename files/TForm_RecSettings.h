#pragma once

#include "RecorderRows.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

// "Recorder options": the data log's sampling period in seconds and the form of its rows (the
// classic one, or plain for spreadsheets). OK stores both for the next start of logging;
// closing without OK puts the stored ones back.
class TForm_RecSettings : public QDialog
{
    Q_OBJECT
public:
    explicit TForm_RecSettings(QWidget *parent = nullptr);

    int period() const { return m_period; }
    RecorderRows::Form form() const { return m_form; }
    // The poll cycle's round at the line speed, against which the period is shown: a period
    // shorter than the round gets a note that values change only once a round.
    void setPollCycle(int cycleMs, qint32 baud);

    void SpinEdit_PeriodChange();
    void Button_SAVEClick();

    QLabel *Label_Period;
    QSpinBox *SpinEdit_Period;
    QLabel *Label_CycleNote;
    QCheckBox *CheckBox_Plain;
    QPushButton *Button_SAVE;
    QPushButton *Button_CANCEL;

protected:
    // Every way of closing ends here: an unsaved change is put back.
    void done(int result) override;

private:
    void showCycleNote();

    int m_period;
    RecorderRows::Form m_form;
    int m_cycleMs = 0;
    qint32 m_baud = 0;
};
