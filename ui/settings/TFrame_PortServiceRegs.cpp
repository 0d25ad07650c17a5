#include "TFrame_PortServiceRegs.h"

#include "EditMark.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>

namespace {

QComboBox *list(const char *name, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

} // namespace

TFrame_PortServiceRegs::TFrame_PortServiceRegs(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);

    Label_Caption = new QLabel(this);
    Label_Caption->setObjectName(QStringLiteral("Label_Caption"));
    QFont bold = Label_Caption->font();
    bold.setBold(true);
    Label_Caption->setFont(bold);

    ComboBox_BaudRate = list("ComboBox_BaudRate", this);
    ComboBox_BaudRate->setMaxVisibleItems(16);
    ComboBox_Addr = list("ComboBox_Addr", this);
    ComboBox_Addr->setMaxVisibleItems(16);
    Cb_Parity = list("Cb_Parity", this);
    Cb_Stopbits = list("Cb_Stopbits", this);
    SpEdit_Delay = new QDoubleSpinBox(this);
    SpEdit_Delay->setObjectName(QStringLiteral("SpEdit_Delay"));
    SpEdit_Delay->setRange(0, 200);
    SpEdit_Delay->setSingleStep(10);
    SpEdit_Delay->setDecimals(0);
    SpEdit_Delay->setSuffix(QStringLiteral(" ms"));

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 6);
    grid->addWidget(Label_Caption, 0, 0, 1, 2);
    const QStringList captions = {QStringLiteral("Baud rate:"), QStringLiteral("Address:"),
                                  QStringLiteral("Parity:"), QStringLiteral("Stopbits:"),
                                  QStringLiteral("Delay:")};
    const QList<QWidget *> fields = controls();
    for (int row = 0; row < fields.size(); ++row) {
        auto *caption = new QLabel(captions[row], this);
        caption->setBuddy(fields[row]);
        grid->addWidget(caption, row + 1, 0);
        grid->addWidget(fields[row], row + 1, 1);
    }
    grid->setColumnStretch(1, 1);

    for (QComboBox *box : {ComboBox_BaudRate, ComboBox_Addr, Cb_Parity, Cb_Stopbits})
        connect(box, &QComboBox::currentIndexChanged, this,
                [this, box] { ComboBox_BaudRateChange(box); });
    connect(SpEdit_Delay, &QDoubleSpinBox::valueChanged, this,
            [this] { ComboBox_BaudRateChange(SpEdit_Delay); });

    ResetValues();
}

QList<QWidget *> TFrame_PortServiceRegs::controls() const
{
    return {ComboBox_BaudRate, ComboBox_Addr, Cb_Parity, Cb_Stopbits, SpEdit_Delay};
}

void TFrame_PortServiceRegs::ComboBox_BaudRateChange(QWidget *control)
{
    EditMark::set(control, 1);
    if (OnSettingChange)
        OnSettingChange(control);
}

void TFrame_PortServiceRegs::ResetValues()
{
    for (QComboBox *box : {ComboBox_BaudRate, ComboBox_Addr, Cb_Parity, Cb_Stopbits})
        ClearBox(box);
    const QSignalBlocker quiet(SpEdit_Delay);
    SpEdit_Delay->setValue(0);
    EditMark::set(SpEdit_Delay, 0);
}

void TFrame_PortServiceRegs::ClearMarks()
{
    for (QWidget *control : controls())
        EditMark::set(control, 0);
}

void TFrame_PortServiceRegs::ClearBox(QComboBox *box)
{
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(-1);
    EditMark::set(box, 0);
}

void TFrame_PortServiceRegs::ClearBoxMark(QComboBox *box)
{
    EditMark::set(box, 0);
}
