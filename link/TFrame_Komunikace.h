#pragma once

#include "TCounterSnapshot.h"
#include "TErrorSplit.h"

#include <QFrame>
#include <QTimer>

class QCheckBox;
class QComboBox;
class QLabel;
class TAfPortComboBox;
class TFrame_Pocitadlo;

// The connection panel: port, line speed, gateway address, parity and stop bits (or the USB
// preset), the Connected box and the message counters. It keeps its own controls consistent
// and shows the counters; the window that holds it applies the settings to its link through
// the signals, which follow the panel's own handling.
class TFrame_Komunikace : public QFrame
{
    Q_OBJECT
public:
    static constexpr int UsbBaudIndex = 13;
    static constexpr int ErrorsBeforeUsbDisconnect = 7;

    explicit TFrame_Komunikace(QWidget *parent = nullptr);

    bool Connected() const;
    // Checks or unchecks Connected; a change runs the connect flow like a click.
    void setConnected(bool connected);
    // The counter change callback: shows the counts and the timeout state.
    void ShowCounters(const TCounterSnapshot &snapshot);
    // The counts, and Err told apart by kind in the counters' tooltip.
    void ShowCounters(const TCounterSnapshot &snapshot, const TErrorSplit &errors);
    bool TimeoutShown() const { return m_timeoutShown; }

    // Fills the four lists (from the link's list operations) and selects their defaults
    // without raising change events.
    void fillLists(const QStringList &bauds, const QStringList &addresses,
                   const QStringList &parities, const QStringList &stopBits);
    // Selects list items without raising change events (start-up and restore).
    void selectSilently(int baud, int address, int parity, int stopBits);

    // Handlers, public so the holder and tests can run them as the controls do.
    void CheckBox_ConnectClick();
    void CheckBox_USBClick();
    void ComboBox_BaudRateChange();
    void Timer_UpdateTimer();

    QLabel *Label_PortCap;
    TAfPortComboBox *AfPortComboBox1;
    QCheckBox *CheckBox_Connect;
    QCheckBox *CheckBox_USB;
    QLabel *Label_BdCap;
    QComboBox *ComboBox_BaudRate;
    QLabel *Label_AddrCap;
    QComboBox *ComboBox_Addr;
    QLabel *Lb_Parity;
    QComboBox *Cb_Parity;
    QLabel *Lb_Stopbit;
    QComboBox *Cb_Stopbit;
    TFrame_Pocitadlo *Frame_Pocitadlo1;
    QTimer Timer_Update;

signals:
    // After the panel's own handling of a change of Connected.
    void connectClicked(bool connected);
    // After the panel's own handling of a list change, with the new index.
    void baudRateChanged(int index);
    void addressChanged(int index);
    void parityChanged(int index);
    void stopBitsChanged(int index);

private:
    void fitListsToWidth();

    bool m_timeoutShown = false;
};
