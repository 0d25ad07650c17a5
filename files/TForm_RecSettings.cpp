#include "TForm_RecSettings.h"

#include "LogFreshness.h"
#include "RecorderSettings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

TForm_RecSettings::TForm_RecSettings(QWidget *parent)
    : QDialog(parent), m_period(RecorderSettings::period()), m_form(RecorderSettings::form())
{
    setObjectName(QStringLiteral("Form_RecSettings"));
    setWindowTitle(QStringLiteral("Recorder options"));
    Label_Period = new QLabel(QStringLiteral("Sampling period:  "), this);
    Label_Period->setObjectName(QStringLiteral("Label_Period"));
    SpinEdit_Period = new QSpinBox(this);
    SpinEdit_Period->setObjectName(QStringLiteral("SpinEdit_Period"));
    SpinEdit_Period->setRange(RecorderSettings::MinPeriod, RecorderSettings::MaxPeriod);
    SpinEdit_Period->setSingleStep(10);
    Label_Period->setBuddy(SpinEdit_Period);
    auto *unit = new QLabel(QStringLiteral("s"), this);
    Label_CycleNote = new QLabel(this);
    Label_CycleNote->setObjectName(QStringLiteral("Label_CycleNote"));
    Label_CycleNote->setWordWrap(true);
    Label_CycleNote->hide();
    CheckBox_Plain = new QCheckBox(QStringLiteral("&Plain form for spreadsheets (ISO 8601 times, bare numbers)"), this);
    CheckBox_Plain->setObjectName(QStringLiteral("CheckBox_Plain"));
    CheckBox_Plain->setToolTip(QStringLiteral("Times as 2026-12-09T07:01:02+01:00 and temperatures as 21.5, with a "
                                              "decimal point and commas between cells; the unit stays in the column "
                                              "titles. Unticked: the classic form, which other programs may expect."));
    Button_SAVE = new QPushButton(QStringLiteral("&OK"), this);
    Button_SAVE->setObjectName(QStringLiteral("Button_SAVE"));
    Button_CANCEL = new QPushButton(QStringLiteral("Cancel"), this);
    Button_CANCEL->setObjectName(QStringLiteral("Button_CANCEL"));

    auto *grid = new QGridLayout(this);
    grid->addWidget(Label_Period, 0, 0);
    grid->addWidget(SpinEdit_Period, 0, 1);
    grid->addWidget(unit, 0, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button_SAVE);
    buttons->addWidget(Button_CANCEL);
    grid->addWidget(Label_CycleNote, 1, 0, 1, 3);
    grid->addWidget(CheckBox_Plain, 2, 0, 1, 3);
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    {
        const QSignalBlocker blocker(SpinEdit_Period);
        SpinEdit_Period->setValue(m_period);
    }
    CheckBox_Plain->setChecked(m_form == RecorderRows::Form::Plain);
    Button_SAVE->setEnabled(false);
    connect(SpinEdit_Period, &QSpinBox::valueChanged, this, [this] { SpinEdit_PeriodChange(); });
    connect(CheckBox_Plain, &QCheckBox::toggled, this, [this] { Button_SAVE->setEnabled(true); });
    connect(Button_SAVE, &QPushButton::clicked, this, [this] {
        Button_SAVEClick();
        accept();
    });
    connect(Button_CANCEL, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm_RecSettings::SpinEdit_PeriodChange()
{
    Button_SAVE->setEnabled(true);
    showCycleNote();
}

void TForm_RecSettings::setPollCycle(int cycleMs, qint32 baud)
{
    m_cycleMs = cycleMs;
    m_baud = baud;
    showCycleNote();
}

void TForm_RecSettings::showCycleNote()
{
    const QString note = LogFreshness::shortPeriodNote(qint64(SpinEdit_Period->value()) * 1000, m_cycleMs, m_baud);
    Label_CycleNote->setText(note.isEmpty() ? QString()
                                            : QStringLiteral("Shorter than the poll cycle: %1. Rows in between repeat "
                                                             "the latest values.")
                                                  .arg(note));
    Label_CycleNote->setVisible(!note.isEmpty());
}

void TForm_RecSettings::Button_SAVEClick()
{
    Button_SAVE->setEnabled(false);
    m_period = SpinEdit_Period->value();
    m_form = CheckBox_Plain->isChecked() ? RecorderRows::Form::Plain : RecorderRows::Form::Classic;
    RecorderSettings::setPeriod(m_period);
    RecorderSettings::setForm(m_form);
}

void TForm_RecSettings::done(int result)
{
    if (Button_SAVE->isEnabled()) {
        const QSignalBlocker blocker(SpinEdit_Period);
        SpinEdit_Period->setValue(m_period);
        const QSignalBlocker plainBlocker(CheckBox_Plain);
        CheckBox_Plain->setChecked(m_form == RecorderRows::Form::Plain);
        Button_SAVE->setEnabled(false);
        showCycleNote();
    }
    Button_CANCEL->setFocus();
    QDialog::done(result);
}
