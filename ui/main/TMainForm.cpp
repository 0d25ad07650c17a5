#include "TMainForm.h"

#include "ErrorGuard.h"
#include "FrameDump.h"
#include "Hint.h"
#include "Language.h"
#include "LinkMessages.h"
#include "MainLog.h"
#include "PortNames.h"
#include "Prompts.h"
#include "SerialTransport.h"
#include "TAfComPort.h"
#include "TAfPortComboBox.h"
#include "ChannelText.h"
#include "DataLogger.h"
#include "MainMenu.h"
#include "PanelSettings.h"
#include "PollDispatch.h"
#include "ProgrammerHandover.h"
#include "SearchPanels.h"
#include "DeviceEntry.h"
#include "TForm_RecSettings.h"
#include "TForm_TrafficMonitor.h"
#include "TForm_TrendChart.h"
#include "THelpOpener.h"
#include "TdlgAboutObrix.h"
#include "FileCommands.h"
#include "TdlgTarvikSettings.h"
#include "TFrame_FindNewTab.h"
#include "TFrame_SensorNewBox.h"
#include "ServiceBlockText.h"
#include "TFrame_Komunikace.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorBox.h"
#include "TTarvikKomunikator.h"
#include "WidgetColour.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTime>
#include <QToolButton>
#include <QWindow>
#include <QVBoxLayout>
#include <memory>

namespace {

const QString kDcbError = QStringLiteral("Error setting parameters from DCB");
const QString kReadError = QStringLiteral("Read data error - AfComPort1 ");

QLabel *headingPanel(const char *name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignCenter);
    WidgetColour::setBackground(label, QColor(0, 0, 128));
    WidgetColour::set(label, QPalette::WindowText, Qt::white);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->setMinimumHeight(20);
    return label;
}

} // namespace

QString TMainForm::caption()
{
    return QStringLiteral("%1 %2").arg(QStringLiteral("1-WIRE-TARVIK Tool"), QStringLiteral("V1.09 (OBRIX)"));
}

TMainForm::TMainForm(QWidget *parent) : TMainForm(nullptr, parent) {}

TMainForm::TMainForm(std::unique_ptr<SerialTransport> transport, QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    // Errors from slots, timers and the link end in this window's handler.
    ErrorGuard::setHandler([this](const QString &message) { ApplicationEvents1Exception(message); });

    setWindowTitle(caption());
    QApplication::setApplicationDisplayName(caption());

    AfComPort1 = transport ? std::make_unique<TAfComPort>(std::move(transport)) : std::make_unique<TAfComPort>();
    AfComPort1->setObjectName(QStringLiteral("AfComPort1"));

    buildLayout();
    buildMenu();

    // The communicator and its notifications.
    FKomunikator = std::make_unique<TTarvikKomunikator>(AfComPort1.get());
    FKomunikator->OnTxFrame = [this](const TFrameBuffer &f) { OnTxFrame(f); };
    FKomunikator->OnRxFrame = [this](const TFrameBuffer &f) { OnRxFrame(f); };
    FKomunikator->OnBlockReceived = [this] { OnBlockReceived(); };
    m_deviceEntry = std::make_unique<DeviceEntry>(*FKomunikator);
    m_files = std::make_unique<FileCommands>(*FKomunikator, QList<TFrame_LineTab *>{Frame_LineTab1, Frame_LineTab2}, this);
    m_files->OnImportDone = [this] { Frame_Komunikace1->setConnected(true); };
    DataLogger::Sources sources;
    sources.records = [this] {
        QList<TChannelRecord> records;
        for (const TFrame_SensorBox *box : FSensorBoxes)
            records.append(box->lastRecord());
        return records;
    };
    sources.channels = [this] {
        QList<TDescriptionRecord> channels;
        Frame_LineTab1->CollectDescriptions(channels);
        Frame_LineTab2->CollectDescriptions(channels);
        return channels;
    };
    sources.sampling = [this] { return recorderSampling(); };
    sources.answering = [this] { return Frame_Komunikace1->Connected() && !Frame_Komunikace1->TimeoutShown(); };
    sources.showState = [this](const QString &text) { m_statusPanel1->setText(text); };
    sources.stopped = [this] { StopLogging1Click(); };
    m_logger = std::make_unique<DataLogger>(std::move(sources));
    dlgTarvikSettings = std::make_unique<TdlgTarvikSettings>(this);
    dlgTarvikSettings->SetCommunicator(FKomunikator.get());
    dlgTarvikSettings->installEventFilter(this);

    // The forty sensor boxes, line 1's then line 2's; their service buttons act on the gateway.
    Frame_LineTab1->AddBoxesTo(FSensorBoxes);
    Frame_LineTab2->AddBoxesTo(FSensorBoxes);
    for (TFrame_SensorBox *box : FSensorBoxes) {
        connect(box, &TFrame_SensorBox::saveNewClicked, this,
                [this](int c) { ErrorGuard::run([&] { FKomunikator->SaveNewDevice(c); }); });
        connect(box, &TFrame_SensorBox::deleteClicked, this,
                [this](int c) { ErrorGuard::run([&] { FKomunikator->DeletePosition(c); }); });
        box->SetRomEditHandler([this](TFrame_SensorBox *b) { RomCodeEditClick(b); });
    }
    // The forty found-device boxes, line 1's panel's then line 2's, and the panels' buttons.
    Frame_FindNewTab1->AddBoxesTo(FNewBoxes);
    Frame_FindNewTab2->AddBoxesTo(FNewBoxes);
    TFrame_LineTab *const tabs[2] = {Frame_LineTab1, Frame_LineTab2};
    TFrame_FindNewTab *const panels[2] = {Frame_FindNewTab1, Frame_FindNewTab2};
    m_search = std::make_unique<SearchPanels>(*FKomunikator, *m_deviceEntry, tabs, panels);
    m_dispatch = std::make_unique<PollDispatch>(PollDispatch::Targets{FSensorBoxes, {Frame_LineTab1, Frame_LineTab2}, FNewBoxes,
                                                                      {Frame_FindNewTab1, Frame_FindNewTab2}, dlgTarvikSettings.get(),
                                                                      Label_SWVer, Label_HWVer, &m_history, m_logger.get()});
    m_handover = std::make_unique<ProgrammerHandover>(
        ProgrammerHandover::Parts{this, FKomunikator.get(), AfComPort1.get(), Frame_Komunikace1, m_menu.get()});
    FKomunikator->SetCountersCallback([this](const TCounterSnapshot &s) { Frame_Komunikace1->ShowCounters(s); });
    AfComPort1->OnClosed = [this](TAfComPort *, const QString &) { linkLost(); };

    // The connection panel's lists, preselected without change events.
    QStringList bauds, addresses, parities, stopBits;
    TTarvikKomunikator::FillBaudRates(bauds, TTarvikKomunikator::pkRS485);
    TTarvikKomunikator::FillAddresses(addresses, TTarvikKomunikator::pkRS485);
    TTarvikKomunikator::FillParities(parities, TTarvikKomunikator::pkRS485);
    TTarvikKomunikator::FillStopBits(stopBits, TTarvikKomunikator::pkRS485);
    Frame_Komunikace1->fillLists(bauds, addresses, parities, stopBits);

    // Each change goes through the error guard: a line setting the port refuses is reported,
    // never thrown into the event loop.
    connect(Frame_Komunikace1, &TFrame_Komunikace::connectClicked, this, [this](bool on) {
        ErrorGuard::run([&] { Frame_Komunikace1CheckBox_ConnectClick(on); });
    });
    connect(Frame_Komunikace1, &TFrame_Komunikace::baudRateChanged, this, [this](int i) {
        ErrorGuard::run([&] { Frame_Komunikace1ComboBox_BaudRateChange(i); });
    });
    connect(Frame_Komunikace1, &TFrame_Komunikace::addressChanged, this, [this](int i) {
        ErrorGuard::run([&] { Frame_Komunikace1ComboBox_AddrChange(i); });
    });
    connect(Frame_Komunikace1, &TFrame_Komunikace::parityChanged, this, [this](int i) {
        ErrorGuard::run([&] { Frame_Komunikace1Cb_ParityChange(i); });
    });
    connect(Frame_Komunikace1, &TFrame_Komunikace::stopBitsChanged, this, [this](int i) {
        ErrorGuard::run([&] { Frame_Komunikace1Cb_StopbitChange(i); });
    });

    Label_SWVer->clear();
    Label_HWVer->clear();
    Hint::apply(action(QStringLiteral("Import1")),
                QStringLiteral("Import ROM codes from file|If connected, ROM codes from that file are written to the gateway."));
    Hint::apply(action(QStringLiteral("Export1")),
                QStringLiteral("Save to file|Use for backing up the gateway configurations."));
    Hint::apply(action(QStringLiteral("UpgradeSW1")),
                QStringLiteral("|If connected, a window for firmware update is open ."));
    Hint::apply(SpdBtn_TarvikSettings, QStringLiteral("RS485 and RS232 configuration"));

    placeWindow();
    PanelSettings::restore(*Frame_Komunikace1);
}

TMainForm::~TMainForm()
{
    // Saved on every orderly exit, connected or not.
    if (m_persistSettings)
        PanelSettings::save(*Frame_Komunikace1);
    ErrorGuard::setHandler({});
    AfComPort1->OnClosed = nullptr;
    // The communicator lets go of the port, then the port closes; both before the widgets
    // their notifications write into.
    m_monitor.reset();
    m_trend.reset();
    FAboutDialog.reset();
    m_handover.reset();
    m_search.reset();
    m_dispatch.reset();
    dlgTarvikSettings.reset();
    m_logger.reset();
    m_recSettings.reset();
    m_files.reset();
    m_deviceEntry.reset();
    FKomunikator.reset();
    AfComPort1.reset();
}

void TMainForm::buildLayout()
{
    auto *central = new QWidget(this);
    auto *row = new QHBoxLayout(central);
    row->setContentsMargins(4, 2, 4, 0);
    row->setSpacing(6);

    auto *left = new QWidget(central);
    left->setFixedWidth(154);
    auto *column = new QVBoxLayout(left);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(headingPanel("Panel1", QStringLiteral("Communication"), left));
    Frame_Komunikace1 = new TFrame_Komunikace(left);
    column->addWidget(Frame_Komunikace1);
    column->addWidget(headingPanel("Pan_TarvikSettingsHead", QStringLiteral("Port settings"), left));
    auto *settingsPanel = new QFrame(left);
    settingsPanel->setObjectName(QStringLiteral("Pan_TarvikSettings"));
    auto *settingsRow = new QHBoxLayout(settingsPanel);
    settingsRow->setContentsMargins(2, 2, 2, 2);
    SpdBtn_TarvikSettings = new QPushButton(QStringLiteral("Edit"), settingsPanel);
    SpdBtn_TarvikSettings->setObjectName(QStringLiteral("SpdBtn_TarvikSettings"));
    connect(SpdBtn_TarvikSettings, &QPushButton::clicked, this, [this] { Portsetti1Click(); });
    settingsRow->addWidget(SpdBtn_TarvikSettings);
    column->addWidget(settingsPanel);
    Label_SWVer = new QLabel(left);
    Label_SWVer->setObjectName(QStringLiteral("Label_SWVer"));
    Label_HWVer = new QLabel(left);
    Label_HWVer->setObjectName(QStringLiteral("Label_HWVer"));
    for (QLabel *l : {Label_SWVer, Label_HWVer}) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        l->setWordWrap(true);
        column->addWidget(l);
    }
    column->addStretch();
    auto *logo = new QLabel(QStringLiteral("1-WIRE-TARVIK"), left);
    logo->setObjectName(QStringLiteral("Frame_Logo1"));
    logo->setAlignment(Qt::AlignCenter);
    column->addWidget(logo);
    row->addWidget(left);

    Panel_MainTable = new QFrame(central);
    Panel_MainTable->setObjectName(QStringLiteral("Panel_MainTable"));
    Panel_MainTable->setFixedWidth(1030);
    auto *tabs = new QGridLayout(Panel_MainTable);
    tabs->setContentsMargins(0, 0, 0, 0);
    tabs->setHorizontalSpacing(6);
    Frame_LineTab1 = new TFrame_LineTab(1, Panel_MainTable);
    Frame_LineTab2 = new TFrame_LineTab(2, Panel_MainTable);
    tabs->addWidget(Frame_LineTab1, 0, 0);
    tabs->addWidget(Frame_LineTab2, 0, 1);
    // Each line's search panel covers the other line's tab (created later, so it lies on top),
    // so the line being worked on stays in view beside it.
    Frame_FindNewTab1 = new TFrame_FindNewTab(1, Panel_MainTable);
    Frame_FindNewTab2 = new TFrame_FindNewTab(2, Panel_MainTable);
    tabs->addWidget(Frame_FindNewTab1, 0, 1);
    tabs->addWidget(Frame_FindNewTab2, 0, 0);
    row->addWidget(Panel_MainTable);
    row->addStretch();
    setCentralWidget(central);

    // Diagnostic panels: kept up to date, never shown.
    StaticText_Rx = new QLabel(this);
    StaticText_Rx->setObjectName(QStringLiteral("StaticText_Rx"));
    StaticText_RxRegisters = new QLabel(this);
    StaticText_RxRegisters->setObjectName(QStringLiteral("StaticText_RxRegisters"));
    StaticText_Tx = new QLabel(this);
    StaticText_Tx->setObjectName(QStringLiteral("StaticText_Tx"));
    for (QLabel *l : {StaticText_Rx, StaticText_RxRegisters, StaticText_Tx}) {
        l->setFixedSize(256, 600);
        l->hide();
    }

    m_statusPanel0 = new QLabel(this);
    m_statusPanel0->setObjectName(QStringLiteral("StatusBarPanel0"));
    m_statusPanel0->setFixedWidth(1000);
    m_statusPanel1 = new QLabel(this);
    m_statusPanel1->setObjectName(QStringLiteral("StatusBarPanel1"));
    m_statusPanel1->setMinimumWidth(200);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->addWidget(m_statusPanel0);
    statusBar()->addWidget(m_statusPanel1, 1);
    statusBar()->setSizeGripEnabled(false);
}

void TMainForm::buildMenu()
{
    m_menu = std::make_unique<MainMenu>(
        menuBar(),
        MainMenu::Handlers{
            {QStringLiteral("Import1"), [this] { Import1Click(); }},
            {QStringLiteral("Export1"), [this] { Export1Click(); }},
            {QStringLiteral("Exit1"), [this] { Exit1Click(); }},
            {QStringLiteral("Connect1"), [this] { Connect1Click(); }},
            {QStringLiteral("Disconnect1"), [this] { Disconnect1Click(); }},
            {QStringLiteral("TrafficMonitor1"), [this] { TrafficMonitor1Click(); }},
            {QStringLiteral("Portsetti1"), [this] { Portsetti1Click(); }},
            {QStringLiteral("Expertsettings1"), [this] { Expertsettings1Click(); }},
            {QStringLiteral("UpgradeSW1"), [this] { SWUpgrade1Click(); }},
            {QStringLiteral("ShowDescriptions1"), [this] { ShowDescriptions1Click(); }},
            {QStringLiteral("DeleteDescriptions1"), [this] { DeleteDescriptions1Click(); }},
            {QStringLiteral("SaveToFile1"), [this] { SaveToFile1Click(); }},
            {QStringLiteral("LoadfomFile1"), [this] { LoadfomFile1Click(); }},
            {QStringLiteral("Startlogging1"), [this] { Startlogging1Click(); }},
            {QStringLiteral("StopLogging1"), [this] { StopLogging1Click(); }},
            {QStringLiteral("RecordOptions1"), [this] { RecordOptions1Click(); }},
            {QStringLiteral("TrendChart1"), [this] { TrendChart1Click(); }},
            {QStringLiteral("About1"), [this] { About1Click(); }},
        },
        [this](int tag) { ApplicationManualClick(tag); });
}

void TMainForm::setLanguage(int index)
{
    m_menu->setLanguage(index);
}

QAction *TMainForm::action(const QString &name) const
{
    return m_menu->action(name);
}

TForm_Programmer *TMainForm::programmer() const
{
    return m_handover->programmer();
}

void TMainForm::setProgrammerTransportFactory(std::function<std::unique_ptr<SerialTransport>()> factory)
{
    m_handover->setTransportFactory(std::move(factory));
}

QMargins TMainForm::frameMarginsEstimate() const
{
    if (const QWindow *w = windowHandle(); w && !w->frameMargins().isNull())
        return w->frameMargins();
    const int border = style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 2;
    return QMargins(border, style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border, border);
}

void TMainForm::placeWindow()
{
    // The designed client area, or what the line tabs need if the fonts make that larger.
    const int client = qMax(DesignHeight, centralWidget()->sizeHint().height() + statusBar()->sizeHint().height());
    const QSize designed(DesignWidth, client + menuBar()->sizeHint().height());
    resize(designed);
    const QMargins frame = frameMarginsEstimate();
    const QSize outer = designed.grownBy(frame);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 0, 0);
    const WindowPlacement placement = WindowPlacement::place(outer, work);
    m_startMaximized = placement.maximised;
    if (!placement.maximised) {
        setFixedSize(designed);
        move(placement.topLeft); // a top-level window's position is that of its frame
    }
    // Too small a screen: a sizeable window that starts maximised.
}

void TMainForm::showPlaced()
{
    if (m_startMaximized)
        showMaximized();
    else
        show();
}

void TMainForm::preselectPort(const QString &portName)
{
    Frame_Komunikace1->AfPortComboBox1->addNamedPort(portName);
}

void TMainForm::activateFromAnotherInstance()
{
    // Back from the task bar to the state it had there: a maximised window stays maximised.
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void TMainForm::ApplicationEvents1Exception(const QString &message)
{
    qCInfo(lcMain).noquote() << "error:" << message;
    // The port names itself after the message; the known texts are recognised with or without
    // that suffix.
    if (message == kDcbError || message.startsWith(kDcbError + QStringLiteral(" - "))) {
        Prompts::current().error(
            QStringLiteral("Error setting parameters from DCB. %1 probably does not suport the selected baudrate.")
                .arg(PortNames::displayName(AfComPort1->portName())));
        return;
    }
    if (message == kReadError) {
        linkLost();
        return;
    }
    Prompts::current().error(message);
}

void TMainForm::linkLost()
{
    const bool wasConnected = Frame_Komunikace1->Connected();
    const QString port = PortNames::displayName(AfComPort1->portName());
    FKomunikator->Close();
    if (!wasConnected)
        return;
    Frame_Komunikace1->setConnected(false);
    // Said once per loss; the values stay on screen, dimmed, until the next connect.
    m_linkNotice = QStringLiteral("The link on %1 was lost at %2. The values shown are the last ones read.")
                       .arg(port, QTime::currentTime().toString(QStringLiteral("h:mm:ss")));
    m_statusPanel0->setText(m_linkNotice);
}

void TMainForm::clearDisplay()
{
    Label_SWVer->clear();
    Label_HWVer->clear();
    Frame_LineTab1->ResetLine();
    Frame_LineTab2->ResetLine();
    Frame_FindNewTab1->ClearPanel();
    Frame_FindNewTab2->ClearPanel();
    dlgTarvikSettings->ClearAll();
    setDisplayLive(true);
}

void TMainForm::setDisplayLive(bool live)
{
    Frame_LineTab1->SetLive(live);
    Frame_LineTab2->SetLive(live);
    if (live) {
        m_linkNotice.clear();
        m_statusPanel0->setText(m_hint);
    }
}

void TMainForm::OnBlockReceived()
{
    std::array<uint16_t, PollBlockSize> registers{};
    FKomunikator->GetRegisters(registers);
    const uint16_t start = FKomunikator->GetBlockAddress();
    DispatchBlock(registers, start);
    StaticText_RxRegisters->setText(ServiceBlockText::registerDump(start, registers));
}

void TMainForm::DispatchBlock(const std::array<uint16_t, PollBlockSize> &registers, uint16_t start)
{
    m_dispatch->Dispatch(registers, start);
}

QString TMainForm::firmwareVersionText() const
{
    return Label_SWVer->text();
}

QString TMainForm::hardwareVersionText() const
{
    return Label_HWVer->text();
}

void TMainForm::useDemoGateway(const QString &portName)
{
    preselectPort(portName);
    Frame_Komunikace1->CheckBox_USB->setChecked(true);
    Frame_Komunikace1->CheckBox_USBClick();
}

void TMainForm::updateConnectionActions(bool connected)
{
    m_menu->linkChanged(connected, recorderRunning());
}

void TMainForm::Frame_Komunikace1CheckBox_ConnectClick(bool connected)
{
    if (connected) {
        try {
            // All four line settings shown in the panel are in force from the first request.
            Frame_Komunikace1ComboBox_BaudRateChange(Frame_Komunikace1->ComboBox_BaudRate->currentIndex());
            Frame_Komunikace1ComboBox_AddrChange(Frame_Komunikace1->ComboBox_Addr->currentIndex());
            Frame_Komunikace1Cb_ParityChange(Frame_Komunikace1->Cb_Parity->currentIndex());
            Frame_Komunikace1Cb_StopbitChange(Frame_Komunikace1->Cb_Stopbit->currentIndex());
            TAfPortComboBox *ports = Frame_Komunikace1->AfPortComboBox1;
            FKomunikator->Open(ports->portName());
            // The port that opened is the user's choice from now on, even if the list had
            // picked it by itself.
            ports->setPortName(ports->portName());
            clearDisplay();
        } catch (const std::exception &e) {
            const QString message = QString::fromUtf8(e.what());
            Frame_Komunikace1->setConnected(false);
            ApplicationEvents1Exception(message);
            return;
        }
    } else {
        FKomunikator->Close();
        // The last values stay readable, but no longer look live.
        setDisplayLive(false);
    }
    updateConnectionActions(Frame_Komunikace1->Connected());
}

void TMainForm::Frame_Komunikace1ComboBox_BaudRateChange(int index)
{
    FKomunikator->SetBaudIndex(index);
}

void TMainForm::Frame_Komunikace1ComboBox_AddrChange(int index)
{
    FKomunikator->SetAddressIndex(index);
}

void TMainForm::Frame_Komunikace1Cb_ParityChange(int index)
{
    FKomunikator->SetParity(index);
}

void TMainForm::Frame_Komunikace1Cb_StopbitChange(int index)
{
    FKomunikator->SetStopBits(index);
}

void TMainForm::Connect1Click()
{
    Frame_Komunikace1->setConnected(true);
}

void TMainForm::Disconnect1Click()
{
    Frame_Komunikace1->setConnected(false);
}

void TMainForm::Exit1Click()
{
    close();
}

void TMainForm::Portsetti1Click()
{
    if (!FKomunikator->Active()) {
        Prompts::current().information(QString::fromLatin1(kPortInactiveMessage));
        return;
    }
    dlgTarvikSettings->ShowSettings();
}

void TMainForm::Expertsettings1Click()
{
    if (!FKomunikator->Active()) {
        Prompts::current().information(QString::fromLatin1(kPortInactiveMessage));
        return;
    }
    dlgTarvikSettings->ShowExpert();
}

void TMainForm::ApplicationEvents1Hint(const QString &longHint)
{
    // A lost link's note comes back whenever no hint is shown.
    m_hint = longHint;
    m_statusPanel0->setText(longHint.isEmpty() ? m_linkNotice : longHint);
}

void TMainForm::OnTxFrame(const TFrameBuffer &frame)
{
    m_traffic.addSent(QByteArray(reinterpret_cast<const char *>(frame.Data), frame.Len));
    StaticText_Tx->setText(FrameDump::panelText(QStringLiteral("Tx Data:"), frame.Data, frame.Len));
}

void TMainForm::OnRxFrame(const TFrameBuffer &frame)
{
    m_traffic.addReceived(QByteArray(reinterpret_cast<const char *>(frame.Data), frame.Len));
    StaticText_Rx->setText(FrameDump::panelText(QStringLiteral("Rx Data:"), frame.Data, frame.Len));
}

bool TMainForm::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::StatusTip && watched == dlgTarvikSettings.get())
        ApplicationEvents1Hint(static_cast<QStatusTipEvent *>(e)->tip());
    return QMainWindow::eventFilter(watched, e);
}

bool TMainForm::event(QEvent *e)
{
    if (e->type() == QEvent::StatusTip) {
        ApplicationEvents1Hint(static_cast<QStatusTipEvent *>(e)->tip());
        return true;
    }
    return QMainWindow::event(e);
}

void TMainForm::closeEvent(QCloseEvent *e)
{
    if (!m_closed) {
        m_closed = true;
        FKomunikator->Close();
    }
    QMainWindow::closeEvent(e);
}

void TMainForm::RomCodeEditClick(TFrame_SensorBox *box)
{
    if (box)
        m_deviceEntry->EditRomCode(box->channel(), box->DisplayNumber(), box->RomCodeHex());
}

void TMainForm::SWUpgrade1Click()
{
    m_handover->Start();
}

void TMainForm::Import1Click()
{
    m_files->importConfiguration();
}

void TMainForm::Export1Click()
{
    m_files->exportConfiguration();
}

void TMainForm::ShowDescriptions1Click()
{
    // The item's check mark has already toggled.
    m_files->showDescriptions(action(QStringLiteral("ShowDescriptions1"))->isChecked());
}

void TMainForm::DeleteDescriptions1Click()
{
    m_files->deleteDescriptions();
}

void TMainForm::SaveToFile1Click()
{
    m_files->saveDescriptions();
}

void TMainForm::LoadfomFile1Click()
{
    m_files->loadDescriptions();
}

bool TMainForm::recorderRunning() const
{
    return m_logger && m_logger->running();
}

bool TMainForm::recorderSampling() const
{
    return Frame_Komunikace1->Connected() && !m_files->importRunning();
}

void TMainForm::Startlogging1Click()
{
    if (recorderRunning())
        return;
    m_menu->recorderChanged(true, Frame_Komunikace1->Connected());
    // Cancelled or not writable: the recorder is idle again.
    if (!m_logger->Start(recorderOptions()->period()))
        m_menu->recorderChanged(false, Frame_Komunikace1->Connected());
}

void TMainForm::StopLogging1Click()
{
    m_menu->recorderChanged(false, Frame_Komunikace1->Connected());
    if (m_logger->running())
        m_logger->Stop();
}

void TMainForm::RecordOptions1Click()
{
    recorderOptions()->exec();
}

void TMainForm::TrafficMonitor1Click()
{
    if (!m_monitor)
        m_monitor = std::make_unique<TForm_TrafficMonitor>(m_traffic);
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
}

void TMainForm::TrendChart1Click()
{
    if (!m_trend) {
        // Named as the boxes are: the number in the current numbering, and the description.
        m_trend = std::make_unique<TForm_TrendChart>(m_history, [this](int channel) {
            const TFrame_SensorBox *box = FSensorBoxes.value(channel - 1);
            if (!box)
                return QStringLiteral("Ch%1").arg(channel);
            const QString name = QStringLiteral("Ch%1").arg(box->DisplayNumber());
            return box->description().isEmpty() ? name : name + QLatin1Char(' ') + box->description();
        });
    }
    m_trend->show();
    m_trend->raise();
    m_trend->activateWindow();
}

void TMainForm::ApplicationManualClick(int tag)
{
    if (m_help)
        m_help->OpenManualForTag(tag);
}

void TMainForm::About1Click()
{
    aboutDialog()->showCentredOn(this);
}

TdlgAboutObrix *TMainForm::aboutDialog()
{
    if (!FAboutDialog)
        FAboutDialog = std::make_unique<TdlgAboutObrix>(this);
    return FAboutDialog.get();
}

TForm_RecSettings *TMainForm::recorderOptions()
{
    if (!m_recSettings)
        m_recSettings = std::make_unique<TForm_RecSettings>(this);
    return m_recSettings.get();
}
