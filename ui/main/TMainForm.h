#pragma once

#include "RegisterMap.h"
#include "TFrameBuffer.h"
#include "TemperatureHistory.h"
#include "TrafficLog.h"
#include "TTarvikKomunikator.h"

#include <QMainWindow>
#include <QMap>
#include <functional>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;
class SerialTransport;
class TAfComPort;
class TFrame_Komunikace;
class DeviceEntry;
class DataLogger;
class FileCommands;
class GatewaySearch;
class LinkControl;
class MainMenu;
class MonitorWindows;
class PollDispatch;
class ProgrammerHandover;
class SearchPanels;
class SilenceHint;
class StaleDisplay;
class TForm_RecSettings;
class TForm_TrafficMonitor;
class TForm_TrendChart;
class THelpOpener;
class TdlgAboutObrix;
class TFrame_FindNewTab;
class TFrame_LineTab;
class TFrame_SensorBox;
class TFrame_SensorNewBox;
class TForm_Programmer;
class TdlgTarvikSettings;

// The tool's single top-level window: the connection panel and version labels on the left,
// the two 1-Wire line tabs on the right, the menu and the status bar. It owns the serial port
// and the gateway communicator, wires the connection panel to them, restores the connection
// settings at start and saves them at the end, and handles the errors that reach it.
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int DesignWidth = 1211;
    static constexpr int DesignHeight = 681;
    static QString caption();

    // The serial port reaches the system through a QSerialPort unless another transport is
    // given (tests, the built-in demo gateway).
    explicit TMainForm(QWidget *parent = nullptr);
    explicit TMainForm(std::unique_ptr<SerialTransport> transport, QWidget *parent = nullptr);
    ~TMainForm() override;

    // Shows the window centred at its designed size when the screen has room for it, and
    // maximised and sizeable otherwise.
    void showPlaced();
    bool startsMaximized() const { return m_startMaximized; }
    // Lists the port (even one the system does not enumerate) and selects it.
    void preselectPort(const QString &portName);
    // A second start of the tool asked this one to come forward.
    void activateFromAnotherInstance();

    // The application's error handler: every error that reaches the event loop ends here.
    void ApplicationEvents1Exception(const QString &message);
    // Makes index the program's language and shows the menus in it.
    void setLanguage(int index);

    // Handlers of the connection panel and the menu.
    // Connected ticked or cleared; the panel's line settings go straight to the communicator.
    void Frame_Komunikace1CheckBox_ConnectClick(bool connected);
    void Connect1Click();
    void Disconnect1Click();
    // Communication > Find gateway: searches the panel's port for a gateway and connects to it.
    void FindGateway1Click();
    GatewaySearch *gatewaySearch() const { return m_gatewaySearch.get(); }
    void Exit1Click();
    void ApplicationEvents1Hint(const QString &longHint);
    void Portsetti1Click();
    void Expertsettings1Click();

    // A click on a sensor box's ROM code: type the channel's ROM code by hand.
    void RomCodeEditClick(TFrame_SensorBox *box);
    // "Upgrade SW": hands the link over to the programmer window, which the main window
    // replaces until it closes; then the link comes back.
    void SWUpgrade1Click();
    // File and Descriptions: the configuration backup and the channel descriptions file.
    void Import1Click();
    void Export1Click();
    void ShowDescriptions1Click();
    void DeleteDescriptions1Click();
    void SaveToFile1Click();
    void LoadfomFile1Click();
    FileCommands *fileCommands() const { return m_files.get(); }
    // Recorder: the data log of every channel's temperature.
    void Startlogging1Click();
    void StopLogging1Click();
    void RecordOptions1Click();
    // The traffic monitor and the trend chart; their data are collected all the time.
    // Help: the manuals (by the menu item's tag) and the about dialog; the language switch.
    void ApplicationManualClick(int tag);
    void About1Click();
    // The program-wide manual opener (not owned; it outlives the window).
    void setHelpOpener(THelpOpener *opener) { m_help = opener; }
    // Made on first use: most sessions never open it.
    TdlgAboutObrix *aboutDialog();
    void TrafficMonitor1Click();
    void TrendChart1Click();
    const TrafficLog &trafficLog() const { return m_traffic; }
    const TemperatureHistory &temperatureHistory() const { return m_history; }
    TForm_TrafficMonitor *trafficMonitor() const;
    TForm_TrendChart *trendChart() const;
    TForm_Programmer *programmer() const;
    TdlgTarvikSettings *settingsDialog() const { return dlgTarvikSettings.get(); }
    // The transport of the programmer window's own port (tests); a QSerialPort otherwise.
    void setProgrammerTransportFactory(std::function<std::unique_ptr<SerialTransport>()> factory);

    void OnTxFrame(const TFrameBuffer &frame);
    void OnRxFrame(const TFrameBuffer &frame);
    // A valid block arrived: route it to the displays and dump it into the register panel.
    void OnBlockReceived();
    // Routes one block by its start address to what shows it (PollDispatch).
    void DispatchBlock(const std::array<uint16_t, PollBlockSize> &registers, uint16_t start);
    // Keep the connection settings of this session out of the user's stored ones (demo).
    void setPersistSettings(bool persist) { m_persistSettings = persist; }
    // Sets the panel to the built-in demo gateway's line (the USB preset) and selects its port.
    void useDemoGateway(const QString &portName);

    const QList<TFrame_SensorBox *> &sensorBoxes() const { return FSensorBoxes; }
    TFrame_LineTab *lineTab(int line) const { return line == 1 ? Frame_LineTab1 : Frame_LineTab2; }
    // The search panel of line 1 or 2.
    TFrame_FindNewTab *searchPanel(int line) const { return line == 1 ? Frame_FindNewTab1 : Frame_FindNewTab2; }
    const QList<TFrame_SensorNewBox *> &newBoxes() const { return FNewBoxes; }
    QString firmwareVersionText() const;
    QString hardwareVersionText() const;
    TTarvikKomunikator *communicator() const { return FKomunikator.get(); }
    TAfComPort *port() const { return AfComPort1.get(); }
    TFrame_Komunikace *connectionPanel() const { return Frame_Komunikace1; }
    QAction *action(const QString &name) const;
    bool recorderRunning() const;
    // The recorder takes samples: connected, and no restore rewriting the gateway.
    bool recorderSampling() const;
    DataLogger *dataLogger() const { return m_logger.get(); }
    // Made on first use: most sessions never open it.
    TForm_RecSettings *recorderOptions();
    // The note in the status bar that the link was lost; empty while the values are live.
    QString linkNotice() const;
    LinkControl *linkControl() const { return m_link.get(); }
    // The hint that a connected gateway gives only timeouts.
    SilenceHint *silenceHint() const { return m_silence.get(); }
    // What status-bar panel 0 shows: a hint of the control under the mouse, else the hint that
    // the gateway is silent, else the link's note.
    QString statusText() const;
    // Dims the line tabs while the values are old (gateway silent, link closed).
    StaleDisplay *staleDisplay() const { return m_stale.get(); }

protected:
    bool event(QEvent *e) override;
    // Long hints of the settings dialog go to this window's status bar too.
    bool eventFilter(QObject *watched, QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void buildLayout();
    void buildMenu();
    // A new link: nothing of the last gateway stays on screen.
    void clearDisplay();
    // The link opened (display cleared, values live) or closed (the last values, dimmed).
    void setDisplayLive(bool live);
    // The port settings need an open port; says so when it is closed.
    bool portActive() const;
    void showStatus();

    // The port and the communicator have no Qt parent: the communicator uses the port until its
    // own destructor, so the destructor deletes it first and the port after it.
    std::unique_ptr<TAfComPort> AfComPort1;
    std::unique_ptr<TTarvikKomunikator> FKomunikator;
    std::unique_ptr<DeviceEntry> m_deviceEntry;
    std::unique_ptr<FileCommands> m_files;
    std::unique_ptr<DataLogger> m_logger;
    std::unique_ptr<TForm_RecSettings> m_recSettings;
    // The monitor windows show these two: the data are declared first, so they outlive them.
    TrafficLog m_traffic;
    TemperatureHistory m_history;
    std::unique_ptr<MonitorWindows> m_monitors;
    std::unique_ptr<TdlgAboutObrix> FAboutDialog;
    THelpOpener *m_help = nullptr;
    std::unique_ptr<SearchPanels> m_search;
    std::unique_ptr<PollDispatch> m_dispatch;
    std::unique_ptr<StaleDisplay> m_stale;
    std::unique_ptr<ProgrammerHandover> m_handover;
    std::unique_ptr<LinkControl> m_link;
    std::unique_ptr<SilenceHint> m_silence;
    std::unique_ptr<GatewaySearch> m_gatewaySearch;
    // A window of its own above this one; it keeps a pointer to the communicator, so it goes
    // before the communicator does.
    std::unique_ptr<TdlgTarvikSettings> dlgTarvikSettings;
    TFrame_Komunikace *Frame_Komunikace1;
    QLabel *Label_SWVer;
    QLabel *Label_HWVer;
    QFrame *Panel_MainTable;
    TFrame_LineTab *Frame_LineTab1;
    TFrame_LineTab *Frame_LineTab2;
    QList<TFrame_SensorBox *> FSensorBoxes;
    TFrame_FindNewTab *Frame_FindNewTab1;
    TFrame_FindNewTab *Frame_FindNewTab2;
    QList<TFrame_SensorNewBox *> FNewBoxes;
    QPushButton *SpdBtn_TarvikSettings;
    QLabel *StaticText_Rx;
    QLabel *StaticText_RxRegisters;
    QLabel *StaticText_Tx;
    QLabel *m_statusPanel0;
    QLabel *m_statusPanel1;
    std::unique_ptr<MainMenu> m_menu;
    bool m_startMaximized = false;
    QScrollArea *m_scroll = nullptr;
    bool m_closed = false;
    bool m_persistSettings = true;
    QString m_hint;
};
