#include "TdlgTarvikSettings.h"

#include "EditMark.h"
#include "Hint.h"
#include "Prompts.h"
#include "TFrame_PortServiceRegs.h"
#include "TTarvikKomunikator.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

TFrame_PortServiceRegs *portFrame(const char *name, const QString &caption, QWidget *parent)
{
    auto *frame = new TFrame_PortServiceRegs(parent);
    frame->setObjectName(QLatin1String(name));
    frame->Label_Caption->setText(caption);
    return frame;
}

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    // Enter in a list must not send the settings.
    b->setAutoDefault(false);
    return b;
}

QLabel *heading(const QString &text, const char *name, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFrameShape(QFrame::StyledPanel);
    label->setAlignment(Qt::AlignCenter);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

void fillList(QComboBox *box, const QStringList &items)
{
    const QSignalBlocker quiet(box);
    box->clear();
    box->addItems(items);
}

} // namespace

TdlgTarvikSettings::TdlgTarvikSettings(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgTarvikSettings"));
    setWindowTitle(QStringLiteral("Gateway settings"));
    setModal(false);

    Pan_PortTitle = heading(QStringLiteral("Port Settings"), "Pan_PortTitle", this);
    Frm_RS485 = portFrame("Frm_RS485", QStringLiteral("COM 0 (RS485)"), this);
    Frm_RS485->SpEdit_Delay->setDecimals(1);
    Frm_RS232 = portFrame("Frm_RS232", QStringLiteral("COM 1 (RS232)"), this);
    // The USB port's settings are fixed: shown by nobody, written never.
    Frm_USB = portFrame("Frm_USB", QStringLiteral("COM 2 (USB)"), this);
    Hint::apply(Frm_USB, QStringLiteral("Fixed values"));
    Frm_USB->ComboBox_BaudRate->setEnabled(false);
    Frm_USB->ComboBox_Addr->setEnabled(false);
    Frm_USB->hide();

    iBtn_Save = button(QStringLiteral("Save"), "iBtn_Save", this);
    iBtn_Cancel = button(QStringLiteral("Cancel"), "iBtn_Cancel", this);
    iBtn_RestoreDef = button(QStringLiteral("Restore Defaults"), "iBtn_RestoreDef", this);

    Pan_ExpertTitle = heading(QStringLiteral("Expert Settings"), "Pan_ExpertTitle", this);
    Lb_PowerLineCap = new QLabel(QStringLiteral("1-Wire lines power control"), this);
    Lb_PowerLineCap->setObjectName(QStringLiteral("Lb_PowerLineCap"));
    ComboBox_PowerLine = new QComboBox(this);
    ComboBox_PowerLine->setObjectName(QStringLiteral("ComboBox_PowerLine"));
    ComboBox_PowerLine->setMaxVisibleItems(16);
    ComboBox_PowerLine->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Lb_PowerLineCap->setBuddy(ComboBox_PowerLine);

    auto *frames = new QHBoxLayout;
    for (TFrame_PortServiceRegs *frame : {Frm_RS485, Frm_RS232, Frm_USB})
        frames->addWidget(frame);
    auto *power = new QHBoxLayout;
    power->addWidget(Lb_PowerLineCap);
    power->addWidget(ComboBox_PowerLine, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton *b : {iBtn_Save, iBtn_Cancel, iBtn_RestoreDef})
        buttons->addWidget(b);
    auto *column = new QVBoxLayout(this);
    column->addWidget(Pan_PortTitle);
    column->addLayout(frames);
    column->addWidget(Pan_ExpertTitle);
    column->addLayout(power);
    column->addLayout(buttons);
    // A fixed dialog: its size follows what is shown (expert controls or not), never the user.
    column->setSizeConstraint(QLayout::SetFixedSize);

    for (TFrame_PortServiceRegs *frame : {Frm_RS485, Frm_RS232, Frm_USB})
        frame->OnSettingChange = [this](QWidget *c) { CB_RepeaterChange(c); };
    connect(ComboBox_PowerLine, &QComboBox::currentIndexChanged, this,
            [this] { CB_RepeaterChange(ComboBox_PowerLine); });
    connect(iBtn_Save, &QPushButton::clicked, this, &TdlgTarvikSettings::iBtn_SaveClick);
    connect(iBtn_Cancel, &QPushButton::clicked, this, &TdlgTarvikSettings::iBtn_CancelClick);
    connect(iBtn_RestoreDef, &QPushButton::clicked, this,
            &TdlgTarvikSettings::iBtn_RestoreDefClick);

    fillList(ComboBox_PowerLine, ServiceSettings::PowerLineItems);
    ClearAll();
    Hint::apply(iBtn_Save, QStringLiteral("Send new values"));
    Hint::apply(iBtn_Cancel, QStringLiteral("Discard changes"));
    Hint::apply(ComboBox_PowerLine, QStringLiteral("1-Wire lines power control (see Modbus "
                                                   "register 1055 description). "));
    SetExpertVisible(false);
}

void TdlgTarvikSettings::SetCommunicator(TTarvikKomunikator *komunikator)
{
    FKomunikator = komunikator;
    if (!FKomunikator)
        return;
    const QList<std::pair<TFrame_PortServiceRegs *, int>> frames = {
        {Frm_RS485, TTarvikKomunikator::pkRS485},
        {Frm_RS232, TTarvikKomunikator::pkRS232},
        {Frm_USB, TTarvikKomunikator::pkUSB}};
    for (const auto &[frame, kind] : frames) {
        QStringList bauds, addresses, parities, stopBits;
        FKomunikator->FillBaudRates(bauds, kind);
        FKomunikator->FillAddresses(addresses, kind);
        FKomunikator->FillParities(parities, kind);
        FKomunikator->FillStopBits(stopBits, kind);
        fillList(frame->ComboBox_BaudRate, bauds);
        fillList(frame->ComboBox_Addr, addresses);
        fillList(frame->Cb_Parity, parities);
        fillList(frame->Cb_Stopbits, stopBits);
        // Nothing is shown until the gateway's values arrive.
        frame->ResetValues();
    }
}

QWidget *TdlgTarvikSettings::control(const ServiceSettings::Setting &setting) const
{
    using Kind = ServiceSettings::Kind;
    if (setting.kind == Kind::PowerLine)
        return ComboBox_PowerLine;
    const TFrame_PortServiceRegs *frame =
        setting.port == ServiceSettings::Com0 ? Frm_RS485 : Frm_RS232;
    switch (setting.kind) {
    case Kind::Address:
        return frame->ComboBox_Addr;
    case Kind::BaudRate:
        return frame->ComboBox_BaudRate;
    case Kind::Parity:
        return frame->Cb_Parity;
    case Kind::StopBits:
        return frame->Cb_Stopbits;
    case Kind::Delay:
    case Kind::PowerLine:
        break;
    }
    return frame->SpEdit_Delay;
}

void TdlgTarvikSettings::ShowServiceRegisters(const std::array<uint16_t, PollBlockSize> &registers)
{
    for (const ServiceSettings::Setting &s : ServiceSettings::Settings) {
        const uint16_t value = registers[size_t(ServiceRegs::offset(s.reg))];
        QWidget *c = control(s);
        if (auto *box = qobject_cast<QComboBox *>(c))
            SetComboSilently(box, ServiceSettings::controlIndex(s.kind, value));
        else
            SetSpinSilently(static_cast<QDoubleSpinBox *>(c), value);
    }
}

void TdlgTarvikSettings::SetComboSilently(QComboBox *box, int index)
{
    if (index == box->currentIndex() || EditMark::isMarked(box) || box->view()->isVisible())
        return;
    const QSignalBlocker quiet(box);
    // Without a selection the next valid value is always shown, even the one selected before.
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

void TdlgTarvikSettings::SetSpinSilently(QDoubleSpinBox *field, double value)
{
    if (field->value() == value || EditMark::isMarked(field))
        return;
    const QSignalBlocker quiet(field);
    field->setValue(value);
}

void TdlgTarvikSettings::ClearAll()
{
    for (TFrame_PortServiceRegs *frame : {Frm_RS485, Frm_RS232, Frm_USB})
        frame->ResetValues();
    TFrame_PortServiceRegs::ClearBox(ComboBox_PowerLine);
    iBtn_CancelClick();
}

void TdlgTarvikSettings::SetExpertVisible(bool visible)
{
    Pan_ExpertTitle->setVisible(visible);
    Lb_PowerLineCap->setVisible(visible);
    ComboBox_PowerLine->setVisible(visible);
}

bool TdlgTarvikSettings::ExpertVisible() const
{
    return !ComboBox_PowerLine->isHidden();
}

void TdlgTarvikSettings::ShowExpert()
{
    SetExpertVisible(true);
    ShowSettings();
}

void TdlgTarvikSettings::ShowSettings()
{
    show();
    raise();
    activateWindow();
}

void TdlgTarvikSettings::CentreOnParent()
{
    if (!parentWidget())
        return;
    const QRect outer = parentWidget()->window()->frameGeometry();
    const QSize own = frameGeometry().size();
    move(outer.left() + (outer.width() - own.width()) / 2,
         outer.top() + (outer.height() - own.height()) / 2);
}

void TdlgTarvikSettings::showEvent(QShowEvent *event)
{
    // Each opening starts over the main window; a window system's own re-show keeps the place.
    if (!event->spontaneous())
        CentreOnParent();
    QDialog::showEvent(event);
}

void TdlgTarvikSettings::done(int result)
{
    SetExpertVisible(false);
    QDialog::done(result);
}

void TdlgTarvikSettings::setButtonsEdited(bool edited)
{
    iBtn_Save->setEnabled(edited);
    iBtn_Cancel->setEnabled(edited);
}

void TdlgTarvikSettings::CB_RepeaterChange(QWidget *control)
{
    EditMark::set(control, 1);
    setButtonsEdited(true);
    iBtn_RestoreDef->setEnabled(true);
}

void TdlgTarvikSettings::iBtn_SaveClick()
{
    if (!FKomunikator)
        return;
    std::array<ServiceSettings::Shown, ServiceSettings::Count> shown;
    QList<QWidget *> sent;
    for (size_t i = 0; i < shown.size(); ++i) {
        QWidget *c = control(ServiceSettings::Settings[i]);
        shown[i].marked = EditMark::isMarked(c);
        if (shown[i].marked)
            sent.append(c);
        if (auto *box = qobject_cast<QComboBox *>(c)) {
            // A marked list without a selection sends its first item, so show that one.
            if (shown[i].marked && box->currentIndex() < 0) {
                const QSignalBlocker quiet(box);
                box->setCurrentIndex(0);
            }
            shown[i].value = box->currentIndex();
        } else {
            shown[i].value = static_cast<QDoubleSpinBox *>(c)->value();
        }
    }
    if (!FKomunikator->QueueWrites(ServiceSettings::writeList(shown))) {
        // The edits stay marked, so a later Save sends them.
        Prompts::current().error(QStringLiteral("Busy, try again."));
        return;
    }
    for (QWidget *c : sent)
        EditMark::set(c, 0);
    setButtonsEdited(false);
    iBtn_RestoreDef->setEnabled(true);
}

void TdlgTarvikSettings::iBtn_CancelClick()
{
    // The values stay until the next service block replaces them, as they are unmarked now.
    for (TFrame_PortServiceRegs *frame : {Frm_RS485, Frm_RS232, Frm_USB})
        frame->ClearMarks();
    TFrame_PortServiceRegs::ClearBoxMark(ComboBox_PowerLine);
    setButtonsEdited(false);
    iBtn_RestoreDef->setEnabled(true);
}

void TdlgTarvikSettings::iBtn_RestoreDefClick()
{
    // Through the ordinary setters: every control whose value really changes becomes marked,
    // the hidden power control included.
    for (const ServiceSettings::Setting &s : ServiceSettings::Settings) {
        const uint16_t value = ServiceSettings::defaultValue(s.kind);
        QWidget *c = control(s);
        if (auto *box = qobject_cast<QComboBox *>(c))
            box->setCurrentIndex(ServiceSettings::controlIndex(s.kind, value));
        else
            static_cast<QDoubleSpinBox *>(c)->setValue(value);
    }
    iBtn_RestoreDef->setEnabled(false);
    setButtonsEdited(true);
}
