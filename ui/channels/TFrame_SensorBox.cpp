#include "TFrame_SensorBox.h"

#include "BoxButton.h"
#include "ChannelNumbering.h"
#include "ChannelText.h"
#include "ErrorGuard.h"
#include "FocusLabel.h"
#include "Hint.h"
#include "Prompts.h"
#include "RomCode.h"
#include "SharedIcon.h"
#include "TextContrast.h"
#include "TextFit.h"
#include "WidgetColour.h"

#include <QEvent>
#include <QGuiApplication>
#include <QGridLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

namespace {

const QColor kOkColour(215, 255, 215);
const QColor kErrorColour(255, 215, 215);
const QColor kValueColour(Qt::white);

QLabel *label(QWidget *parent, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

QToolButton *speedButton(QWidget *parent, const char *name, QStyle::StandardPixmap icon)
{
    auto *b = new BoxButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(SharedIcon::standard(icon));
    b->setFixedSize(20, 18);
    return b;
}

// Shows text in label in full, the font shrunk (or the unit left out) to fit the label's
// fixed space; base is the label's own font.
void showFitted(QLabel *label, const QFont &base, const QString &text, bool unitLast = false)
{
    const TextFit::Result fitted = TextFit::fit(base, text, label->contentsRect().size(), unitLast);
    if (label->font() != fitted.font)
        label->setFont(fitted.font);
    if (label->text() != fitted.text)
        label->setText(fitted.text);
}

QColor applicationText()
{
    return QGuiApplication::palette().color(QPalette::WindowText);
}

QFrame *bevel(QWidget *parent, const char *name)
{
    auto *f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

} // namespace

TFrame_SensorBox::TFrame_SensorBox(int channel, QWidget *parent)
    : QFrame(parent), m_channel(channel), m_numbering(ChannelNumbering::flag())
{
    setObjectName(QStringLiteral("Frame_SensorBox%1").arg((channel - 1) % ChannelMap::ChannelsPerLine + 1));
    setFixedSize(254, 63);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);

    Label_Channel = label(this, "Label_Channel");
    QFont bold = Label_Channel->font();
    bold.setBold(true);
    Label_Channel->setFont(bold);
    Label_Channel->setFixedWidth(40);
    // Tab reaches the code (or the description); Enter or F2 edits it as a click does.
    auto *rom = new FocusLabel(this);
    rom->setObjectName(QStringLiteral("Label_ROMCode"));
    connect(rom, &FocusLabel::activated, this, &TFrame_SensorBox::Label_ROMCodeClick);
    Label_ROMCode = rom;
    SpeedButton_Edit = speedButton(this, "SpeedButton_Edit", QStyle::SP_DialogSaveButton);
    SpeedButton_DescrSwitch = speedButton(this, "SpeedButton_DescrSwitch", QStyle::SP_FileDialogDetailedView);
    SpeedButton_Delete = speedButton(this, "SpeedButton_Delete", QStyle::SP_TrashIcon);
    Label_Value1 = label(this, "Label_Value1");
    Label_Value2 = label(this, "Label_Value2");
    Label_Value3 = label(this, "Label_Value3");
    Label_Value4 = label(this, "Label_Value4");
    Label_Value5 = label(this, "Label_Value5");
    Label_Error = label(this, "Label_Error");
    Bevel1 = bevel(this, "Bevel1");
    Bevel2 = bevel(this, "Bevel2");
    m_valueLabels = {Label_Value1, Label_Value2, Label_Value3, Label_Value4, Label_Value5};
    for (QLabel *v : m_valueLabels) {
        v->setFixedWidth(60);
        v->setAlignment(Qt::AlignCenter);
        WidgetColour::setBackground(v, kValueColour);
    }

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(2, 1, 2, 1);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(0);
    auto *top = new QHBoxLayout;
    top->setSpacing(2);
    top->addWidget(Label_Channel);
    top->addWidget(Label_ROMCode, 1);
    top->addWidget(SpeedButton_Edit);
    top->addWidget(SpeedButton_DescrSwitch);
    top->addWidget(SpeedButton_Delete);
    grid->addLayout(top, 0, 0, 1, 4);
    grid->addWidget(Bevel1, 1, 0, 1, 4);
    for (int i = 0; i < 4; ++i)
        grid->addWidget(m_valueLabels[i], 2, i);
    grid->addWidget(Bevel2, 3, 0, 1, 4);
    grid->addWidget(Label_Value5, 4, 0);
    grid->addWidget(Label_Error, 4, 1, 1, 3);
    // The values and the status change with the records; fixed at the places the layout
    // gives them, a new value repaints its label and re-lays out nothing.
    grid->activate();
    for (QLabel *l : m_valueLabels)
        l->setFixedSize(l->size());
    Label_Error->setFixedSize(Label_Error->size());
    Label_Channel->setFixedHeight(Label_Channel->height());
    // Large system fonts: the values, the number and the code shrink to the space they have.
    m_valueFont = Label_Value1->font();
    m_romFont = Label_ROMCode->font();

    connect(SpeedButton_Edit, &QToolButton::clicked, this, [this] { emit saveNewClicked(m_channel); });
    connect(SpeedButton_Delete, &QToolButton::clicked, this, [this] { emit deleteClicked(m_channel); });
    connect(SpeedButton_DescrSwitch, &QToolButton::clicked, this,
            [this] { ErrorGuard::run([this] { SpeedButton_DescrSwitchClick(); }); });

    showFitted(Label_Channel, Label_Channel->font(), QStringLiteral("Ch%1").arg(DisplayNumber()));
    const QString cc = ChannelNumbering::commandByte(m_channel);
    Hint::apply(SpeedButton_Edit,
                QStringLiteral("Save new|Save the new device, which was found using the command 0x05FF. (Send command 0x09%1)").arg(cc));
    Hint::apply(SpeedButton_Delete, QStringLiteral("Delete|Delete the position. (Send command 0x0F%1)").arg(cc));
    ClearValues();
    SetDescriptionMode(false);
    SetEditMode(false);
}

int TFrame_SensorBox::DisplayNumber() const
{
    return ChannelNumbering::displayNumber(m_channel, m_numbering);
}

QString TFrame_SensorBox::RomCodeHex() const
{
    return RomCode::toText(m_last.rom);
}

QColor TFrame_SensorBox::boxColour() const
{
    return palette().color(QPalette::Window);
}

void TFrame_SensorBox::setBoxColour(const QColor &colour)
{
    m_liveColour = colour;
    if (!m_stale)
        WidgetColour::setBackground(this, colour);
}

void TFrame_SensorBox::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    // The box sets no other role of its own: built afresh, its text follows the window's
    // palette again once live, made readable on the status colour.
    const QPalette current;
    QPalette own;
    if (stale) {
        own.setColor(QPalette::Window, current.color(QPalette::Window));
        own.setColor(QPalette::WindowText, WidgetColour::faded(current));
    } else if (m_liveColour.isValid()) {
        own.setColor(QPalette::Window, m_liveColour);
        own.setColor(QPalette::WindowText, TextContrast::readable(applicationText(), m_liveColour));
    }
    setPalette(own);
    for (QLabel *v : m_valueLabels) {
        v->setAutoFillBackground(!stale);
        WidgetColour::set(v, QPalette::WindowText,
                          stale ? WidgetColour::faded(current) : TextContrast::readable(applicationText(), kValueColour));
    }
}

// Hints, texts and colours are applied again with every record (several times a second for
// forty boxes); each is changed only when it differs, so an unchanged box costs no events,
// relayout or repaint.
void TFrame_SensorBox::setHint(QWidget *w, const QString &hint)
{
    Hint::apply(w, hint);
    if (!w->testAttribute(Qt::WA_SetCursor) || w->cursor().shape() != Qt::WhatsThisCursor)
        w->setCursor(Qt::WhatsThisCursor);
}

void TFrame_SensorBox::clearHint(QWidget *w)
{
    if (!w->toolTip().isEmpty())
        w->setToolTip(QString());
    if (!w->statusTip().isEmpty())
        w->setStatusTip(QString());
    if (w->testAttribute(Qt::WA_SetCursor))
        w->unsetCursor();
}

void TFrame_SensorBox::ShowChannel(const TChannelRecord &record)
{
    // Stored first, whatever follows: the line tab reads the status from here.
    m_last = record;
    if (record.channel != m_channel)
        return;
    if (record.status == ChannelStatus::FreePosition) {
        ShowFreePosition();
        return;
    }
    // A line fault or a channel not yet read: nothing to show, keep what is shown.
    if (!ChannelText::showsDevice(record))
        return;

    m_romText = RomCode::toText(record.rom);
    refreshRomLine();

    const uint8_t family = RomCode::familyOf(record.rom);
    setHint(Label_Channel, ChannelText::familyHint(family));
    for (int slot = 1; slot <= ChannelMap::ValueCount; ++slot) {
        const ChannelText::Shown shown = ChannelText::valueOf(record, slot);
        QLabel *l = m_valueLabels[slot - 1];
        showValue(l, shown.text);
        setHint(l, shown.hint);
    }
    const QString status = ChannelText::statusText(record.status);
    showValue(Label_Error, status);
    setHint(Label_Error, QStringLiteral("Error code|Error code: ") + status);

    switch (record.status) {
    case ChannelStatus::Ok:
        setBoxColour(kOkColour);
        break;
    case ChannelStatus::LineInHigh:
    case ChannelStatus::ShortCircuit:
    case ChannelStatus::UnsupportedFamily:
    case ChannelStatus::CrcError:
    case ChannelStatus::Timeout:
        setBoxColour(kErrorColour);
        break;
    default:
        setBoxColour(QPalette().color(QPalette::Button));
        break;
    }
}

void TFrame_SensorBox::showValue(QLabel *label, const QString &text)
{
    // Compared with the whole text: the one shown may lack its unit.
    QString &whole = m_valueTexts[label];
    if (whole == text)
        return;
    whole = text;
    showFitted(label, m_valueFont, text, label != Label_Error);
}

void TFrame_SensorBox::refreshRomLine()
{
    SetDescriptionMode(m_descriptionMode);
}

void TFrame_SensorBox::SetDescriptionMode(bool on)
{
    m_descriptionMode = on;
    if (on) {
        if (Label_ROMCode->font() != m_romFont)
            Label_ROMCode->setFont(m_romFont);
        Label_ROMCode->setText(m_description);
        Hint::apply(Label_ROMCode,
                    QStringLiteral("Edit description|Write a short description. (max %1 characters)").arg(MaxDescription));
        WidgetColour::setBackground(Label_ROMCode, QPalette().color(QPalette::Button));
        Hint::apply(SpeedButton_DescrSwitch, QStringLiteral("Switch to ROM code"));
    } else {
        showFitted(Label_ROMCode, m_romFont, m_romText);
        Hint::apply(Label_ROMCode, QStringLiteral("Edit channel|It allows to modify the ROM code."));
        // On the box's own colour, with the box's text.
        if (Label_ROMCode->autoFillBackground()) {
            Label_ROMCode->setAutoFillBackground(false);
            Label_ROMCode->setPalette(QPalette());
        }
        Hint::apply(SpeedButton_DescrSwitch, QStringLiteral("Switch to description"));
    }
}

void TFrame_SensorBox::SetDescription(const QString &text)
{
    // The descriptions file keeps one line of tab-separated fields per channel: a tab or a line
    // break (pasted into the field) would lose the description there, so each is a blank.
    QString kept = text.left(MaxDescription);
    for (QChar &c : kept)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    m_description = kept;
    if (m_descriptionMode)
        Label_ROMCode->setText(m_description);
}

void TFrame_SensorBox::SetRomEditHandler(RomEditHandler handler)
{
    m_romEditHandler = std::move(handler);
}

void TFrame_SensorBox::SetEditMode(bool on)
{
    SpeedButton_Edit->setVisible(on);
    SpeedButton_DescrSwitch->setVisible(!on);
}

void TFrame_SensorBox::ClearValues()
{
    showValue(Label_Error, QString());
    m_romText.clear();
    for (QLabel *l : m_valueLabels)
        showValue(l, QString());
    refreshRomLine();
}

void TFrame_SensorBox::ShowFreePosition()
{
    ClearValues();
    setBoxColour(Qt::white);
    clearHint(Label_Channel);
    for (QLabel *l : m_valueLabels)
        clearHint(l);
    clearHint(Label_Error);
}

void TFrame_SensorBox::ResetBox()
{
    ShowFreePosition();
    m_last.rom = {0, 0, 0, 0};
}

void TFrame_SensorBox::Label_DescriptionClick()
{
    const auto text = Prompts::current().inputQuery(
        QStringLiteral("Edit description - Channel %1").arg(DisplayNumber()),
        QStringLiteral("Write a short description (max %1 characters):").arg(MaxDescription), m_description,
        MaxDescription);
    if (text)
        SetDescription(*text);
}

void TFrame_SensorBox::SpeedButton_DescrSwitchClick()
{
    SetDescriptionMode(!m_descriptionMode);
}

void TFrame_SensorBox::Label_ROMCodeClick()
{
    ErrorGuard::run([this] {
        if (m_descriptionMode)
            Label_DescriptionClick();
        else if (m_romEditHandler)
            m_romEditHandler(this);
    });
}
