#include "TFrame_FindNewTab.h"

#include "ChannelText.h"
#include "Hint.h"
#include "ServiceBlockText.h"
#include "TFrame_SensorNewBox.h"
#include "WidgetColour.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLabel *statusLabel(const char *name, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumHeight(20);
    return l;
}

} // namespace

TFrame_FindNewTab::TFrame_FindNewTab(int line, QWidget *parent) : QFrame(parent), m_line(line)
{
    setObjectName(QStringLiteral("Frame_FindNewTab%1").arg(line));
    setFixedSize(512, 662);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);

    // Title bar: caption and Close.
    auto *title = new QFrame(this);
    title->setObjectName(QStringLiteral("Panel_Title"));
    title->setAutoFillBackground(true);
    WidgetColour::setBackground(title, QColor(0, 0, 128));
    Label_Caption = new QLabel(QStringLiteral("Service registers - LINE %1").arg(line), title);
    Label_Caption->setObjectName(QStringLiteral("Label_Caption"));
    WidgetColour::set(Label_Caption, QPalette::WindowText, Qt::white);
    QFont bold = Label_Caption->font();
    bold.setBold(true);
    Label_Caption->setFont(bold);
    Button_Close = button(QStringLiteral("Close"), "Button_Close", title);
    auto *titleRow = new QHBoxLayout(title);
    titleRow->setContentsMargins(6, 2, 2, 2);
    titleRow->addWidget(Label_Caption, 1);
    titleRow->addWidget(Button_Close);

    // The three searches; Find New's result beside it in a white framed field.
    Button_FindNew = button(QStringLiteral("Find New"), "Button_FindNew", this);
    Panel_FindNew = new QFrame(this);
    Panel_FindNew->setObjectName(QStringLiteral("Panel_FindNew"));
    Panel_FindNew->setFrameShape(QFrame::Panel);
    Panel_FindNew->setFrameShadow(QFrame::Sunken);
    Panel_FindNew->setAutoFillBackground(true);
    WidgetColour::setBackground(Panel_FindNew, Qt::white);
    Label_NewROMCode = new QLabel(Panel_FindNew);
    Label_NewROMCode->setObjectName(QStringLiteral("Label_NewROMCode"));
    Label_NewROMCode->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *newRow = new QHBoxLayout(Panel_FindNew);
    newRow->setContentsMargins(6, 2, 6, 2);
    newRow->addWidget(Label_NewROMCode);
    Button_FindNewAll = button(QStringLiteral("Find New All"), "Button_FindNewAll", this);
    Button_FindAll = button(QStringLiteral("Find All"), "Button_FindAll", this);

    auto *commands = new QGridLayout;
    commands->setHorizontalSpacing(6);
    commands->addWidget(Button_FindNew, 0, 0);
    commands->addWidget(Panel_FindNew, 0, 1, 1, 2);
    commands->addWidget(Button_FindNewAll, 1, 0);
    commands->addWidget(Button_FindAll, 1, 1);
    commands->setColumnStretch(2, 1);

    // The found-device list: 1-10 on the left, 11-20 on the right.
    auto *list = new QGridLayout;
    list->setHorizontalSpacing(2);
    list->setVerticalSpacing(2);
    for (int n = 1; n <= FoundList::RecordCount; ++n) {
        auto *box = new TFrame_SensorNewBox((line - 1) * FoundList::RecordCount + n, n, this);
        m_boxes.append(box);
        list->addWidget(box, (n - 1) % 10, (n - 1) / 10);
        connect(box, &TFrame_SensorNewBox::saveClicked, this, &TFrame_FindNewTab::saveClicked);
    }

    Label_Command = statusLabel("Label_Command", this);
    Label_Status = statusLabel("Label_Status", this);
    auto *statusRow = new QHBoxLayout;
    statusRow->setSpacing(2);
    statusRow->addWidget(Label_Command, 1);
    statusRow->addWidget(Label_Status, 2);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(1, 1, 1, 1);
    column->setSpacing(6);
    column->addWidget(title);
    column->addLayout(commands);
    column->addLayout(list);
    column->addStretch(1);
    column->addLayout(statusRow);

    Hint::apply(Button_FindNew, QStringLiteral("Command 0x05FF|It works if only one device is connected to the line. (Send command 0x05FF)"));
    Hint::apply(Button_FindNewAll, QStringLiteral("Command 0x06FF|Find all newly connected devices. (Send command 0x06FF)"));
    Hint::apply(Button_FindAll, QStringLiteral("Command 0x07FF|Find all connected devices. (Send command 0x07FF)"));
    Hint::apply(Label_NewROMCode, QStringLiteral("New ROM code|It displays the new ROM code found using the command 0x05FF."));
    Hint::apply(Button_Close, QStringLiteral("Close the window"));
    Hint::apply(Label_Command, QStringLiteral("Last sent command"));
    Hint::apply(Label_Status, QStringLiteral("Response|Response to the sent command"));

    connect(Button_Close, &QPushButton::clicked, this, &TFrame_FindNewTab::closeClicked);
    connect(Button_FindNew, &QPushButton::clicked, this, &TFrame_FindNewTab::findNewClicked);
    connect(Button_FindNewAll, &QPushButton::clicked, this, &TFrame_FindNewTab::findNewAllClicked);
    connect(Button_FindAll, &QPushButton::clicked, this, &TFrame_FindNewTab::findAllClicked);

    ClearPanel();
    hide();
}

void TFrame_FindNewTab::ClearPanel()
{
    Label_NewROMCode->clear();
    m_newRom.reset();
    Label_Command->clear();
    Label_Status->clear();
    for (TFrame_SensorNewBox *box : m_boxes)
        box->ResetBox();
}

void TFrame_FindNewTab::AddBoxesTo(QList<TFrame_SensorNewBox *> &list) const
{
    for (TFrame_SensorNewBox *box : m_boxes)
        if (!list.contains(box))
            list.append(box);
}

void TFrame_FindNewTab::ShowServiceBlock(const std::array<uint16_t, PollBlockSize> &service)
{
    const int line = m_line - 1;
    Label_Command->setText(ServiceBlockText::command(service, line));
    Label_Status->setText(ServiceBlockText::operationStatus(service, line));
    Label_NewROMCode->setText(ServiceBlockText::newRomCode(service, line));
    const RomCode::Words found = ServiceBlockText::newRomWords(service, line);
    if (RomCode::isEmpty(found) || RomCode::isNoDevice(found))
        m_newRom.reset();
    else
        m_newRom = found;
}

QString TFrame_FindNewTab::StatusText(uint16_t word)
{
    return ChannelText::StatusText(word);
}
