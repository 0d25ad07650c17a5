#include "TMainForm.h"

#include "ChannelText.h"
#include "ConnectionColumn.h"
#include "DataLogger.h"
#include "DeviceEntry.h"
#include "ErrorGuard.h"
#include "FileCommands.h"
#include "FrameDump.h"
#include "GatewaySearch.h"
#include "Hint.h"
#include "LinkMessages.h"
#include "LinkControl.h"
#include "MainLog.h"
#include "MainMenu.h"
#include "MonitorWindows.h"
#include "PanelSettings.h"
#include "PlacedWindow.h"
#include "PollDispatch.h"
#include "ProgrammerHandover.h"
#include "Prompts.h"
#include "SearchPanels.h"
#include "SerialTransport.h"
#include "SilenceHint.h"
#include "ServiceBlockText.h"
#include "StaleDisplay.h"
#include "TAfComPort.h"
#include "TAfPortComboBox.h"
#include "TdlgAboutObrix.h"
#include "TdlgTarvikSettings.h"
#include "TForm_RecSettings.h"
#include "TFrame_FindNewTab.h"
#include "TFrame_Komunikace.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorBox.h"
#include "THelpOpener.h"
#include "TTarvikKomunikator.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QStatusTipEvent>

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
    sources.answering = [this] { return Frame_Komunikace1->Connected() && FKomunikator->Active() && !Frame_Komunikace1->TimeoutShown(); };
    sources.showState = [this](const QString &text) { m_statusPanel1->setText(text); };
    sources.stopped = [this] { StopLogging1Click(); };
    sources.pollInterval = [this] { return FKomunikator->PollInterval(); };
    m_logger = std::make_unique<DataLogger>(std::move(sources));
    dlgTarvikSettings = std::make_unique<TdlgTarvikSettings>(this);
    dlgTarvikSettings->SetCommunicator(FKomunikator.get());
    dlgTarvikSettings->installEventFilter(this);

    // The forty sensor boxes, line 1's then line 2's; their service buttons act on the gateway.
    Frame_LineTab1->AddBoxesTo(FSensorBoxes);
    Frame_LineTab2->AddBoxesTo(FSensorBoxes);
    for (TFrame_SensorBox *box : FSensorBoxes) {
        // The device Find New found on the channel's line is the one "Save new" stores.
        connect(box, &TFrame_SensorBox::saveNewClicked, this, [this](int c) {
            ErrorGuard::run([&] { m_deviceEntry->SaveNewDevice(c, searchPanel(ChannelMap::lineOf(c) + 1)->newRomCode()); });
        });
        connect(box, &TFrame_SensorBox::deleteClicked, this,
                [this](int c) { ErrorGuard::run([&] { m_deviceEntry->DeletePosition(c); }); });
        box->SetRomEditHandler([this](TFrame_SensorBox *b) { RomCodeEditClick(b); });
    }
    // What a channel holds, as its box last showed it, is what the service buttons ask about.
    m_deviceEntry->LastRecord = [this](int c) {
        const TFrame_SensorBox *b = FSensorBoxes.value(c - 1);
        return b ? b->lastRecord() : TChannelRecord{};
    };
    // The forty found-device boxes, line 1's panel's then line 2's, and the panels' buttons.
    Frame_FindNewTab1->AddBoxesTo(FNewBoxes);
    Frame_FindNewTab2->AddBoxesTo(FNewBoxes);
    TFrame_LineTab *const tabs[2] = {Frame_LineTab1, Frame_LineTab2};
    TFrame_FindNewTab *const panels[2] = {Frame_FindNewTab1, Frame_FindNewTab2};
    m_search = std::make_unique<SearchPanels>(*FKomunikator, *m_deviceEntry, tabs, panels);
    m_dispatch = std::make_unique<PollDispatch>(PollDispatch::Targets{FSensorBoxes, {Frame_LineTab1, Frame_LineTab2}, FNewBoxes,
                                                                      {Frame_FindNewTab1, Frame_FindNewTab2}, dlgTarvikSettings.get(),
                                                                      Label_SWVer, Label_HWVer, &m_history, m_logger.get()});
    m_stale = std::make_unique<StaleDisplay>(QList<TFrame_LineTab *>{Frame_LineTab1, Frame_LineTab2});
    m_handover = std::make_unique<ProgrammerHandover>(
        ProgrammerHandover::Parts{this, FKomunikator.get(), AfComPort1.get(), Frame_Komunikace1, m_menu.get()});
    FKomunikator->SetCountersCallback(
        [this](const TCounterSnapshot &s) { Frame_Komunikace1->ShowCounters(s, FKomunikator->Counters().Errors()); });
    m_link = std::make_unique<LinkControl>(
        LinkControl::Parts{FKomunikator.get(), AfComPort1.get(), Frame_Komunikace1},
        LinkControl::Display{[this] { clearDisplay(); }, [this](bool live) { setDisplayLive(live); },
                             [this](const QString &) { showStatus(); },
                             [this](bool connected) { m_menu->linkChanged(connected, recorderRunning()); }});
    m_silence = std::make_unique<SilenceHint>([this] { showStatus(); });
    FKomunikator->OnReadFailed = [this](int, TModbusKomunikator::ReadFault fault) {
        m_silence->readFailed(fault == TModbusKomunikator::ReadFault::NoAnswer);
    };
    m_gatewaySearch = std::make_unique<GatewaySearch>(GatewaySearch::Parts{this, FKomunikator.get(), AfComPort1.get(), Frame_Komunikace1, [this] {
        return m_files->importRunning() ? QStringLiteral("The configuration is being written to the gateway: Find gateway once that has ended.")
                                        : QString();
    }});
    m_monitors = std::make_unique<MonitorWindows>(m_traffic, m_history, [this](int channel) {
        // Named as the boxes are: the number in the current numbering, and the description.
        const TFrame_SensorBox *box = FSensorBoxes.value(channel - 1);
        if (!box)
            return QStringLiteral("Ch%1").arg(channel);
        const QString name = QStringLiteral("Ch%1").arg(box->DisplayNumber());
        return box->description().isEmpty() ? name : name + QLatin1Char(' ') + box->description();
    });
    m_monitors->setErrorSource([this] { return FKomunikator->Counters().Errors(); });

    Label_SWVer->clear();
    Label_HWVer->clear();
    Hint::apply(action(QStringLiteral("Import1")),
                QStringLiteral("Import ROM codes from file|If connected, ROM codes from that file are written to the gateway."));
    Hint::apply(action(QStringLiteral("Export1")),
                QStringLiteral("Save to file|Use for backing up the gateway configurations."));
    Hint::apply(action(QStringLiteral("UpgradeSW1")),
                QStringLiteral("|If connected, a window for firmware update is open ."));
    Hint::apply(SpdBtn_TarvikSettings, QStringLiteral("RS485 and RS232 configuration"));

    // The designed client area, or what the line tabs need if the fonts make that larger.
    const int client = qMax(DesignHeight, m_scroll->widget()->sizeHint().height() + statusBar()->sizeHint().height());
    m_startMaximized = PlacedWindow::place(*this, QSize(DesignWidth, client + menuBar()->sizeHint().height()));
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
    m_monitors.reset();
    m_gatewaySearch.reset();
    m_link.reset();
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
    // The content scrolls where the screen is smaller than the designed window (1024 x 768,
    // large fonts); a larger window shows it centred.
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("ScrollBox_Main"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    auto *central = new QWidget(m_scroll);
    central->setObjectName(QStringLiteral("Panel_Content"));
    auto *row = new QHBoxLayout(central);
    row->setContentsMargins(4, 2, 4, 0);
    row->setSpacing(6);
    row->addStretch();

    auto *left = new ConnectionColumn(central);
    Frame_Komunikace1 = left->panel();
    SpdBtn_TarvikSettings = left->settingsButton();
    connect(SpdBtn_TarvikSettings, &QPushButton::clicked, this, [this] { Portsetti1Click(); });
    Label_SWVer = left->firmwareLabel();
    Label_HWVer = left->hardwareLabel();
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
    m_scroll->setWidget(central);
    setCentralWidget(m_scroll);

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
    m_statusPanel1 = new QLabel(this);
    m_statusPanel1->setObjectName(QStringLiteral("StatusBarPanel1"));
    // Five parts to one, as designed (1000 and 200 px), in whatever width the window has: a
    // long text never makes the window wider than the screen.
    for (QLabel *l : {m_statusPanel0, m_statusPanel1})
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->addWidget(m_statusPanel0, 5);
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
            {QStringLiteral("FindGateway1"), [this] { FindGateway1Click(); }},
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

TForm_TrafficMonitor *TMainForm::trafficMonitor() const
{
    return m_monitors->trafficMonitor();
}

TForm_TrendChart *TMainForm::trendChart() const
{
    return m_monitors->trendChart();
}

QString TMainForm::linkNotice() const
{
    return m_link->notice();
}

TForm_Programmer *TMainForm::programmer() const
{
    return m_handover->programmer();
}

void TMainForm::setProgrammerTransportFactory(std::function<std::unique_ptr<SerialTransport>()> factory)
{
    m_handover->setTransportFactory(std::move(factory));
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
    if (!m_link->handleError(message))
        Prompts::current().error(message);
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
}

void TMainForm::setDisplayLive(bool live)
{
    m_stale->linkChanged(live);
    m_silence->linkChanged(live);
}

void TMainForm::OnBlockReceived()
{
    // The gateway answers: the line tabs look live again before the block reaches them.
    m_stale->answered();
    m_silence->answered();
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

void TMainForm::Frame_Komunikace1CheckBox_ConnectClick(bool connected)
{
    m_link->setConnected(connected);
}

void TMainForm::Connect1Click()
{
    Frame_Komunikace1->setConnected(true);
}

void TMainForm::Disconnect1Click()
{
    Frame_Komunikace1->setConnected(false);
}

void TMainForm::FindGateway1Click()
{
    m_gatewaySearch->start();
}

void TMainForm::Exit1Click()
{
    close();
}

bool TMainForm::portActive() const
{
    if (!FKomunikator->Active())
        Prompts::current().information(QString::fromLatin1(kPortInactiveMessage));
    return FKomunikator->Active();
}

void TMainForm::Portsetti1Click()
{
    if (portActive())
        dlgTarvikSettings->ShowSettings();
}

void TMainForm::Expertsettings1Click()
{
    if (portActive())
        dlgTarvikSettings->ShowExpert();
}

void TMainForm::ApplicationEvents1Hint(const QString &longHint)
{
    // A lost link's note comes back whenever no hint is shown.
    m_hint = longHint;
    showStatus();
}

QString TMainForm::statusText() const
{
    if (!m_hint.isEmpty())
        return m_hint;
    if (m_silence && m_silence->shown())
        return m_silence->text();
    return m_link ? m_link->notice() : QString();
}

void TMainForm::showStatus()
{
    m_statusPanel0->setText(statusText());
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
        m_gatewaySearch->abandon();
        m_link->stopRetrying();
        FKomunikator->Close();
    }
    QMainWindow::closeEvent(e);
}

void TMainForm::RomCodeEditClick(TFrame_SensorBox *box)
{
    // A channel that holds no device starts from an empty field, so a code typed in part is
    // never completed by the digits of "no device".
    if (box)
        m_deviceEntry->EditRomCode(box->channel(), box->DisplayNumber(),
                                   ChannelText::heldRom(box->lastRecord()) ? box->RomCodeHex() : QString());
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
    // A lost port being tried again keeps Connected ticked; nothing is read meanwhile.
    return Frame_Komunikace1->Connected() && FKomunikator->Active() && !m_files->importRunning();
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
    // Every block comes round once a cycle of the seven reads at the speed the panel has
    // chosen: a shorter period repeats values.
    const qint32 baud = TTarvikKomunikator::BaudAt(Frame_Komunikace1->ComboBox_BaudRate->currentIndex()) * 100;
    if (baud > 0)
        recorderOptions()->setPollCycle(PollBlockCount * TModbusKomunikator::PollIntervalFor(baud), baud);
    recorderOptions()->exec();
}

void TMainForm::TrafficMonitor1Click()
{
    m_monitors->showTrafficMonitor();
}

void TMainForm::TrendChart1Click()
{
    m_monitors->showTrendChart();
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
