#pragma once

#include "FirmwareUpdate.h"
#include "SerialTransport.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class TAfComPort;

// The window in which a firmware file is picked and written into the gateway. It has a serial
// port of its own (8N1, the main link's port, speed and address, taken over while the main
// link is closed) and shows the link's state, the gateway's version, the file as hex and the
// progress. Closing it with its port connected (result Accepted) asks the main window to take
// the link back.
class TForm_Programmer : public QDialog
{
    Q_OBJECT
public:
    static QString caption() { return QStringLiteral("1-WIRE-TARVIK Tool - Upgrade SW"); }

    // The port reaches the system through a QSerialPort unless another transport is given.
    explicit TForm_Programmer(std::unique_ptr<SerialTransport> transport = nullptr, QWidget *parent = nullptr);
    ~TForm_Programmer() override;

    // The main link's port, speed and gateway address; then Connected is ticked.
    void takeLink(const QString &portName, qint32 baud, uint8_t slaveAddress);
    bool Busy() const { return m_busy; }
    QString LoadedFileName() const { return m_loadedFileName; }
    FirmwareUpdate &update() { return *m_update; }
    TAfComPort &port() { return *AfComPort1; }

    void CheckBox1Click();
    void Button_OpenFileClick();
    // Open File once the user picked path.
    void loadFile(const QString &path);
    void Button_DelProgMemClick();
    void Button_AbortClick();
    void Button_CloseClick();
    // Closing the window: while programming it asks first; the result tells whether the port
    // was connected.
    void done(int result) override;

    QCheckBox *CheckBox1;
    QLabel *Label_ErrInfo;
    QLabel *Lb_FWVer;
    QPushButton *Button_OpenFile;
    QPlainTextEdit *Memo_Path;
    QPlainTextEdit *Memo_FromFile;
    QPushButton *Button_DelProgMem;
    QProgressBar *Gauge1;
    QLabel *Label_Progress;
    QPushButton *Button_Abort;
    QPushButton *Button_Close;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildLayout();
    void bindUpdate();
    void resetProgramming();
    void programmingDone();
    void setConnectedSilently(bool on);

    // The protocol uses the port until its destructor: the port is declared first, so it is
    // destroyed last.
    std::unique_ptr<TAfComPort> AfComPort1;
    std::unique_ptr<FirmwareUpdate> m_update;
    bool m_busy = false;
    QString m_loadedFileName;
};
