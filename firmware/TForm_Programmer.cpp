#include "TForm_Programmer.h"

#include "ErrorGuard.h"
#include "FirmwareFileCheck.h"
#include "LinkMessages.h"
#include "Prompts.h"
#include "SerialTransport.h"
#include "TAfComPort.h"
#include "WidgetColour.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace {

QColor colourOf(FirmwareUpdate::Colour c)
{
    switch (c) {
    case FirmwareUpdate::Colour::Green:
        return QColor(0, 128, 0);
    case FirmwareUpdate::Colour::Red:
        return QColor(255, 0, 0);
    case FirmwareUpdate::Colour::Black:
        break;
    }
    // Plain text: the scheme's own, light in a dark one.
    return QGuiApplication::palette().color(QPalette::WindowText);
}

template<typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

TForm_Programmer::TForm_Programmer(std::unique_ptr<SerialTransport> transport, QWidget *parent)
    : QDialog(parent),
      AfComPort1(transport ? std::make_unique<TAfComPort>(std::move(transport)) : std::make_unique<TAfComPort>()),
      m_update(std::make_unique<FirmwareUpdate>(*AfComPort1))
{
    setObjectName(QStringLiteral("Form_Programmer"));
    setWindowTitle(caption());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);
    AfComPort1->setObjectName(QStringLiteral("AfComPort1"));
    // The gateway's programming link is always 8 data bits, no parity, one stop bit.
    AfComPort1->setParity(TParity::paNone);
    AfComPort1->setStopBits(TStopBits::sbOne);

    buildLayout();
    bindUpdate();
    Gauge1->setValue(0);
    Gauge1->hide();
    Button_Abort->setEnabled(false);
    Label_Progress->clear();
    Memo_FromFile->clear();
    Memo_Path->clear();
    // Idle polling runs from creation on; it only sends while the port is open.
    m_update->Timer().start();
}

TForm_Programmer::~TForm_Programmer()
{
    m_update->Timer().stop();
    m_update.reset();
    AfComPort1.reset();
}

void TForm_Programmer::buildLayout()
{
    auto *communication = new QGroupBox(QStringLiteral("Communication"), this);
    CheckBox1 = named(new QCheckBox(QStringLiteral("Connected"), communication), "CheckBox1");
    Label_ErrInfo = named(new QLabel(communication), "Label_ErrInfo");
    auto *commRow = new QHBoxLayout(communication);
    commRow->addWidget(CheckBox1);
    commRow->addWidget(Label_ErrInfo, 1);

    Lb_FWVer = named(new QLabel(this), "Lb_FWVer");
    QFont bold = Lb_FWVer->font();
    bold.setBold(true);
    Lb_FWVer->setFont(bold);

    Button_OpenFile = named(new QPushButton(QStringLiteral("Open File"), this), "Button_OpenFile");
    Memo_Path = named(new QPlainTextEdit(this), "Memo_Path");
    Memo_Path->setReadOnly(true);
    Memo_Path->setFrameShape(QFrame::NoFrame);
    Memo_Path->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Memo_Path->setFixedHeight(Memo_Path->fontMetrics().lineSpacing() * 3 + 8);
    Memo_Path->viewport()->setAutoFillBackground(false);
    Memo_FromFile = named(new QPlainTextEdit(this), "Memo_FromFile");
    Memo_FromFile->setReadOnly(true);
    Memo_FromFile->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    Memo_FromFile->setFont(fixed);

    Button_DelProgMem = named(new QPushButton(QStringLiteral("Program Memory..."), this), "Button_DelProgMem");
    Gauge1 = named(new QProgressBar(this), "Gauge1");
    Gauge1->setTextVisible(false);
    WidgetColour::set(Gauge1, QPalette::Highlight, QColor(0x38, 0xBE, 0x0C));
    Label_Progress = named(new QLabel(this), "Label_Progress");
    Button_Abort = named(new QPushButton(QStringLiteral("Cancel"), this), "Button_Abort");
    Button_Close = named(new QPushButton(QStringLiteral("Close"), this), "Button_Close");
    auto *logo = named(new QLabel(QStringLiteral("1-WIRE-TARVIK"), this), "Image_Logo");
    QFont logoFont = logo->font();
    logoFont.setBold(true);
    logoFont.setPointSizeF(logoFont.pointSizeF() * 1.4);
    logo->setFont(logoFont);

    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(Button_OpenFile, 0, Qt::AlignTop);
    fileRow->addWidget(Memo_Path, 1);
    auto *programRow = new QHBoxLayout;
    programRow->addWidget(Button_DelProgMem);
    programRow->addWidget(Gauge1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(logo);
    buttons->addStretch(1);
    buttons->addWidget(Button_Abort);
    buttons->addWidget(Button_Close);

    auto *column = new QVBoxLayout(this);
    column->addWidget(communication);
    column->addWidget(Lb_FWVer);
    column->addLayout(fileRow);
    column->addWidget(Memo_FromFile, 1);
    column->addLayout(programRow);
    column->addWidget(Label_Progress);
    column->addLayout(buttons);
    setFixedSize(560, 480);

    connect(CheckBox1, &QCheckBox::toggled, this, [this] { ErrorGuard::run([this] { CheckBox1Click(); }); });
    connect(Button_OpenFile, &QPushButton::clicked, this, [this] { ErrorGuard::run([this] { Button_OpenFileClick(); }); });
    connect(Button_DelProgMem, &QPushButton::clicked, this, [this] { ErrorGuard::run([this] { Button_DelProgMemClick(); }); });
    connect(Button_Abort, &QPushButton::clicked, this, [this] { ErrorGuard::run([this] { Button_AbortClick(); }); });
    connect(Button_Close, &QPushButton::clicked, this, [this] { Button_CloseClick(); });
}

void TForm_Programmer::bindUpdate()
{
    m_update->OnStatus = [this](const QString &text, FirmwareUpdate::Colour colour) {
        Label_ErrInfo->setText(text);
        WidgetColour::setReadableText(Label_ErrInfo, colourOf(colour), palette().color(QPalette::Window));
    };
    m_update->OnVersion = [this](const QString &text) { Lb_FWVer->setText(text); };
    m_update->OnProgress = [this](int position, int maximum) {
        Gauge1->setMaximum(maximum);
        Gauge1->setValue(position);
    };
    m_update->OnProgressText = [this](const QString &text) { Label_Progress->setText(text); };
    m_update->OnPortClosed = [this] { setConnectedSilently(false); };
    m_update->OnPortInactive = [this] {
        resetProgramming();
        Prompts::current().information(QString::fromLatin1(kPortInactiveMessage));
    };
    m_update->OnDone = [this] { programmingDone(); };
    m_update->OnGaveUp = [this](const QString &why) {
        resetProgramming();
        Prompts::current().error(why + QStringLiteral(". Programming stopped."));
    };
}

void TForm_Programmer::setConnectedSilently(bool on)
{
    const QSignalBlocker blocker(CheckBox1);
    CheckBox1->setChecked(on);
}

void TForm_Programmer::takeLink(const QString &portName, qint32 baud, uint8_t slaveAddress)
{
    AfComPort1->setPortName(portName);
    AfComPort1->setUserBaudRate(baud);
    m_update->setFirstInterval(baud);
    m_update->setSlaveAddress(slaveAddress);
    CheckBox1->setChecked(true);
}

void TForm_Programmer::showEvent(QShowEvent *event)
{
    Lb_FWVer->clear();
    Label_ErrInfo->clear();
    QDialog::showEvent(event);
}

void TForm_Programmer::CheckBox1Click()
{
    if (!CheckBox1->isChecked()) {
        AfComPort1->close();
        return;
    }
    try {
        AfComPort1->open();
    } catch (...) {
        setConnectedSilently(false);
        throw; // the application's error handler shows why
    }
    m_update->ResetCounters();
}

void TForm_Programmer::Button_OpenFileClick()
{
    // No polling while the dialog is open; on again however it ends.
    m_update->Timer().stop();
    const auto restart = qScopeGuard([this] { m_update->Timer().start(); });
    const QString path = Prompts::current().openFile(QStringLiteral("Open File"),
                                                     QStringLiteral("Binary files (*.bin *.BIN)"), QString());
    if (!path.isEmpty())
        loadFile(path);
}

void TForm_Programmer::loadFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        Prompts::current().information(QStringLiteral("File does not exist."));
        return;
    }
    if (info.size() == 0) {
        Prompts::current().warning(QStringLiteral("%1 is empty.").arg(path));
        return;
    }
    if (info.size() > FirmwareImage::Capacity) {
        Prompts::current().warning(QStringLiteral("%1 is too large for a firmware image: it has %2 bytes, the limit is %3 bytes.")
                                       .arg(path).arg(info.size()).arg(FirmwareImage::Capacity));
        return;
    }
    // One of the tool's own files or text is never taken for a program: the image loaded
    // before stays.
    if (const QString refusal = FirmwareFileCheck::refusal(path); !refusal.isEmpty()) {
        Prompts::current().warning(refusal);
        return;
    }
    if (path == m_loadedFileName
        && !Prompts::current().confirm(QStringLiteral("%1 is already open. Do you want to reload it?").arg(path)))
        return;
    switch (m_update->Image().load(path)) {
    case FirmwareImage::LoadResult::Ok:
        break;
    case FirmwareImage::LoadResult::Missing:
        Prompts::current().information(QStringLiteral("File does not exist."));
        return;
    case FirmwareImage::LoadResult::Empty:
        Prompts::current().warning(QStringLiteral("%1 is empty.").arg(path));
        return;
    case FirmwareImage::LoadResult::TooLarge:
        Prompts::current().warning(QStringLiteral("%1 is too large for a firmware image: the limit is %2 bytes.")
                                       .arg(path).arg(FirmwareImage::Capacity));
        return;
    case FirmwareImage::LoadResult::ReadError:
        Prompts::current().warning(QStringLiteral("File access error."));
        return;
    }
    m_loadedFileName = path;
    Memo_Path->setPlainText(QStringLiteral("Open file:\n") + path);
    Memo_FromFile->setPlainText(m_update->Image().hexText());
}

void TForm_Programmer::Button_DelProgMemClick()
{
    if (!CheckBox1->isChecked()) {
        Prompts::current().information(QString::fromLatin1(kPortInactiveMessage));
        return;
    }
    if (m_update->Image().ImageLength() < 1) {
        Prompts::current().error(QStringLiteral("No file selected."));
        return;
    }
    if (!Prompts::current().confirm(FirmwareFileCheck::question(m_loadedFileName, m_update->Image().ImageLength(),
                                                                FirmwareUpdate::BusyIntervalMs)))
        return;
    Button_Abort->setEnabled(true);
    Button_OpenFile->setEnabled(false);
    Gauge1->show();
    m_busy = true;
    m_update->StartProgramming(m_loadedFileName);
}

void TForm_Programmer::Button_AbortClick()
{
    if (!m_busy)
        return;
    if (Prompts::current().confirm(QStringLiteral("Cancel programming?")))
        resetProgramming();
}

void TForm_Programmer::resetProgramming()
{
    m_update->Cancel();
    Gauge1->setValue(0);
    Gauge1->hide();
    Label_Progress->clear();
    Button_OpenFile->setEnabled(true);
    Button_Abort->setEnabled(false);
    m_busy = false;
}

void TForm_Programmer::programmingDone()
{
    Button_Abort->setEnabled(false);
    m_update->Timer().stop();
    Prompts::current().information(
        QStringLiteral("Memory programming done. Restart the device to complete the firmware update.\r\n"
                       "(The PGM switch must be in the ON position during restart.)"));
    // The port is let go so the gateway can be restarted with its programming switch on.
    m_busy = false;
    CheckBox1->setChecked(false);
    m_update->Timer().start();
    Button_OpenFile->setEnabled(true);
}

void TForm_Programmer::Button_CloseClick()
{
    close();
}

void TForm_Programmer::done(int result)
{
    Q_UNUSED(result);
    if (m_busy && !Prompts::current().confirm(QStringLiteral("Cancel programming?")))
        return; // programming goes on; the window stays
    resetProgramming();
    const bool connected = CheckBox1->isChecked();
    if (connected) {
        setConnectedSilently(false);
        AfComPort1->close();
    }
    QDialog::done(connected ? QDialog::Accepted : QDialog::Rejected);
}
