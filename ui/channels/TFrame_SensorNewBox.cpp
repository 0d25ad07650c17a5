#include "TFrame_SensorNewBox.h"

#include "BoxButton.h"
#include "Hint.h"
#include "SharedIcon.h"

#include <QGridLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

TFrame_SensorNewBox::TFrame_SensorNewBox(int number, int n, QWidget *parent)
    : QFrame(parent), m_number(number)
{
    setObjectName(QStringLiteral("Frame_SensorNewBox%1").arg(n));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setFixedSize(254, 40);

    Label_Channel = new QLabel(this);
    Label_Channel->setObjectName(QStringLiteral("Label_Channel"));
    QFont bold = Label_Channel->font();
    bold.setBold(true);
    Label_Channel->setFont(bold);
    Label_Channel->setFixedWidth(24);
    Label_ROMCode = new QLabel(this);
    Label_ROMCode->setObjectName(QStringLiteral("Label_ROMCode"));
    Label_Index = new QLabel(this);
    Label_Index->setObjectName(QStringLiteral("Label_Index"));
    SpeedButton_Save = new BoxButton(this);
    SpeedButton_Save->setObjectName(QStringLiteral("SpeedButton_Save"));
    SpeedButton_Save->setIcon(SharedIcon::standard(QStyle::SP_DialogSaveButton));
    SpeedButton_Save->setFixedSize(20, 18);
    Hint::apply(SpeedButton_Save, QStringLiteral("Save|Save on the desired channel."));
    connect(SpeedButton_Save, &QToolButton::clicked, this, [this] { emit saveClicked(this); });

    // The list position and ROM code with Save beside them; the index below the code.
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(3, 1, 3, 1);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(0);
    grid->addWidget(Label_Channel, 0, 0);
    grid->addWidget(Label_ROMCode, 0, 1);
    grid->addWidget(SpeedButton_Save, 0, 2);
    grid->addWidget(Label_Index, 1, 1);
    grid->setColumnStretch(1, 1);

    // The gateway's list positions, the same in both numbering modes.
    Label_Channel->setText(QString::number(number - 1));
    ResetBox();
}

void TFrame_SensorNewBox::ShowFoundDevice(int number, const RomCode::Words &rom, uint16_t index)
{
    if (number != m_number || RomCode::isEmpty(rom))
        return;
    SpeedButton_Save->setEnabled(true);
    Label_ROMCode->setText(RomCode::toText(rom));
    m_index = index;
    m_rom = rom;
    Label_Index->setText(QStringLiteral("Index: %1").arg(index));
}

void TFrame_SensorNewBox::ResetBox()
{
    Label_ROMCode->clear();
    Label_Index->clear();
    m_rom = {};
    SpeedButton_Save->setEnabled(false);
}
