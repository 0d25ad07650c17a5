#include "TFrame_Komunikace.h"

#include "TAfPortComboBox.h"
#include "TFrame_Pocitadlo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>

namespace {
template<typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}
} // namespace

TFrame_Komunikace::TFrame_Komunikace(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("Frame_Komunikace1"));
    setFixedSize(154, 234);

    Label_PortCap = named(new QLabel(QStringLiteral("COM Port:"), this), "Label_PortCap");
    AfPortComboBox1 = named(new TAfPortComboBox(this), "AfPortComboBox1");
    CheckBox_Connect = named(new QCheckBox(QStringLiteral("Connected"), this), "CheckBox_Connect");
    CheckBox_USB = named(new QCheckBox(QStringLiteral("USB"), this), "CheckBox_USB");
    Label_BdCap = named(new QLabel(QStringLiteral("Baud Rate:"), this), "Label_BdCap");
    ComboBox_BaudRate = named(new QComboBox(this), "ComboBox_BaudRate");
    Label_AddrCap = named(new QLabel(QStringLiteral("Address:"), this), "Label_AddrCap");
    ComboBox_Addr = named(new QComboBox(this), "ComboBox_Addr");
    Lb_Parity = named(new QLabel(QStringLiteral("Parity:"), this), "Lb_Parity");
    Cb_Parity = named(new QComboBox(this), "Cb_Parity");
    Lb_Stopbit = named(new QLabel(QStringLiteral("Stopbits:"), this), "Lb_Stopbit");
    Cb_Stopbit = named(new QComboBox(this), "Cb_Stopbit");
    Frame_Pocitadlo1 = new TFrame_Pocitadlo(this);
    Timer_Update.setObjectName(QStringLiteral("Timer_Update"));
    ComboBox_Addr->setMaxVisibleItems(16);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(2);
    grid->setColumnStretch(1, 1);
    for (QComboBox *box : {ComboBox_BaudRate, ComboBox_Addr, Cb_Parity, Cb_Stopbit})
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    grid->addWidget(Label_PortCap, 0, 0, 1, 2);
    grid->addWidget(AfPortComboBox1, 1, 0, 1, 2);
    auto *boxes = new QHBoxLayout;
    boxes->addWidget(CheckBox_Connect);
    boxes->addWidget(CheckBox_USB);
    grid->addLayout(boxes, 2, 0, 1, 2);
    grid->addWidget(Label_BdCap, 3, 0);
    grid->addWidget(ComboBox_BaudRate, 3, 1);
    grid->addWidget(Label_AddrCap, 4, 0);
    grid->addWidget(ComboBox_Addr, 4, 1);
    grid->addWidget(Lb_Parity, 5, 0);
    grid->addWidget(Cb_Parity, 5, 1);
    grid->addWidget(Lb_Stopbit, 6, 0);
    grid->addWidget(Cb_Stopbit, 6, 1);
    grid->addWidget(Frame_Pocitadlo1, 7, 0, 1, 2);
    Frame_Pocitadlo1->fixWidth(width() - grid->contentsMargins().left() - grid->contentsMargins().right());
    grid->setRowStretch(8, 1);

    // Connected follows the box's state however it changes (a click, the menu, the panel's
    // own disconnect); the lists react to the user's choices only.
    connect(CheckBox_Connect, &QCheckBox::toggled, this, [this] { CheckBox_ConnectClick(); });
    connect(CheckBox_USB, &QCheckBox::clicked, this, [this] { CheckBox_USBClick(); });
    connect(ComboBox_BaudRate, &QComboBox::activated, this, [this](int i) {
        ComboBox_BaudRateChange();
        emit baudRateChanged(i);
    });
    connect(ComboBox_Addr, &QComboBox::activated, this, [this](int i) {
        ComboBox_BaudRateChange();
        emit addressChanged(i);
    });
    connect(Cb_Parity, &QComboBox::activated, this, [this](int i) {
        ComboBox_BaudRateChange();
        emit parityChanged(i);
    });
    connect(Cb_Stopbit, &QComboBox::activated, this, [this](int i) {
        ComboBox_BaudRateChange();
        emit stopBitsChanged(i);
    });

    Timer_Update.setInterval(10000);
    connect(&Timer_Update, &QTimer::timeout, this, &TFrame_Komunikace::Timer_UpdateTimer);
    Timer_Update.start();
}

bool TFrame_Komunikace::Connected() const
{
    return CheckBox_Connect->isChecked();
}

void TFrame_Komunikace::setConnected(bool connected)
{
    CheckBox_Connect->setChecked(connected);
}

void TFrame_Komunikace::fillLists(const QStringList &bauds, const QStringList &addresses,
                                  const QStringList &parities, const QStringList &stopBits)
{
    ComboBox_BaudRate->clear();
    ComboBox_BaudRate->addItems(bauds);
    ComboBox_Addr->clear();
    ComboBox_Addr->addItems(addresses);
    Cb_Parity->clear();
    Cb_Parity->addItems(parities);
    Cb_Stopbit->clear();
    Cb_Stopbit->addItems(stopBits);
    selectSilently(5, 0, 0, 0);
    fitListsToWidth();
}

void TFrame_Komunikace::fitListsToWidth()
{
    // Every list shows its longest item whole ("115.2 kBd"). Where the system's font makes
    // caption and list wider than the panel, the captions get a smaller font rather than the
    // lists cutting their items off.
    const QList<QComboBox *> lists{ComboBox_BaudRate, ComboBox_Addr, Cb_Parity, Cb_Stopbit};
    const QList<QLabel *> captions{Label_BdCap, Label_AddrCap, Lb_Parity, Lb_Stopbit};
    int listWidth = 0;
    for (QComboBox *box : lists)
        listWidth = qMax(listWidth, box->sizeHint().width());
    const auto *grid = static_cast<QGridLayout *>(layout());
    const QMargins margins = grid->contentsMargins();
    const int available = width() - margins.left() - margins.right() - grid->horizontalSpacing() - listWidth;
    QFont captionFont = font();
    const auto widest = [&](const QFont &f) {
        const QFontMetrics metrics(f);
        int w = 0;
        for (const QLabel *label : captions)
            w = qMax(w, metrics.horizontalAdvance(label->text()) + 2 * label->margin());
        return w;
    };
    while (widest(captionFont) > available && captionFont.pointSizeF() > 6.5)
        captionFont.setPointSizeF(captionFont.pointSizeF() - 0.5);
    for (QLabel *label : captions)
        label->setFont(captionFont);
    for (QComboBox *box : lists)
        box->setMinimumWidth(listWidth);
}

void TFrame_Komunikace::selectSilently(int baud, int address, int parity, int stopBits)
{
    ComboBox_BaudRate->setCurrentIndex(baud);
    ComboBox_Addr->setCurrentIndex(address);
    Cb_Parity->setCurrentIndex(parity);
    Cb_Stopbit->setCurrentIndex(stopBits);
}

void TFrame_Komunikace::CheckBox_ConnectClick()
{
    // The port cannot change under an open link.
    AfPortComboBox1->setEnabled(!Connected());
    emit connectClicked(Connected());
}

void TFrame_Komunikace::CheckBox_USBClick()
{
    if (!CheckBox_USB->isChecked())
        return;
    // The gateway's USB interface runs at 115.2 kBd, address 1, no parity, one stop bit; each
    // list announces its change so the holder applies it.
    ComboBox_BaudRate->setCurrentIndex(UsbBaudIndex);
    ComboBox_BaudRateChange();
    emit baudRateChanged(UsbBaudIndex);
    ComboBox_Addr->setCurrentIndex(0);
    ComboBox_BaudRateChange();
    emit addressChanged(0);
    Cb_Parity->setCurrentIndex(0);
    ComboBox_BaudRateChange();
    emit parityChanged(0);
    Cb_Stopbit->setCurrentIndex(0);
    ComboBox_BaudRateChange();
    emit stopBitsChanged(0);
}

void TFrame_Komunikace::ComboBox_BaudRateChange()
{
    const bool usb = ComboBox_BaudRate->currentIndex() == UsbBaudIndex
                     && ComboBox_Addr->currentIndex() == 0 && Cb_Parity->currentIndex() == 0
                     && Cb_Stopbit->currentIndex() == 0;
    CheckBox_USB->setChecked(usb);
}

void TFrame_Komunikace::Timer_UpdateTimer()
{
    if (!Connected())
        AfPortComboBox1->EnumeratePorts();
}

void TFrame_Komunikace::ShowCounters(const TCounterSnapshot &s, const TErrorSplit &errors)
{
    Frame_Pocitadlo1->showErrors(errors);
    ShowCounters(s);
}

void TFrame_Komunikace::ShowCounters(const TCounterSnapshot &s)
{
    Frame_Pocitadlo1->Label_Rx->setText(QStringLiteral("Rx = %1").arg(s.Rx));
    Frame_Pocitadlo1->Label_Tx->setText(QStringLiteral("Tx = %1").arg(s.Tx));
    Frame_Pocitadlo1->Label_Error->setText(QStringLiteral("Err = %1").arg(s.Err));
    Frame_Pocitadlo1->Label_Timeout->setVisible(s.Timeout);
    m_timeoutShown = s.Timeout;
    QString text = QStringLiteral("Timeout");
    if (s.Err >= ErrorsBeforeUsbDisconnect && CheckBox_USB->isChecked()) {
        // A USB gateway that keeps failing has most likely been unplugged: let go of the link.
        setConnected(false);
        text = QStringLiteral("Error - Disconnected");
    }
    Frame_Pocitadlo1->Label_Timeout->setText(text);
}
