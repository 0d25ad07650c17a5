#pragma once

#include "RegisterMap.h"
#include "ServiceSettings.h"

#include <QDialog>
#include <array>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class TFrame_PortServiceRegs;
class TTarvikKomunikator;

// The window in which the user reads and changes the gateway's own serial-port settings (the
// RS-485 port COM 0 and the RS-232 port COM 1) and, in expert mode, the power control of the
// two 1-Wire lines. It never talks to the port: the main window feeds it every answer of the
// service block, and Save hands the edited settings to the communicator's write queue. A
// control the user changed keeps the change, marked, until it is sent or discarded; answers
// from the gateway update only unmarked controls. Modeless, above its parent window.
class TdlgTarvikSettings : public QDialog
{
    Q_OBJECT
public:
    explicit TdlgTarvikSettings(QWidget *parent = nullptr);

    // Stores the communicator (not owned) and fills the lists of the three port frames.
    void SetCommunicator(TTarvikKomunikator *komunikator);
    // Shows the gateway's values from the service block (word i is register 1000 + i).
    void ShowServiceRegisters(const std::array<uint16_t, PollBlockSize> &registers);
    // Empties every list and sets every delay to 0, all unmarked; then as Cancel.
    void ClearAll();
    void SetExpertVisible(bool visible);
    bool ExpertVisible() const;
    // Shows the expert controls and the window.
    void ShowExpert();
    // Shows the window as it was left (expert controls as they are) and brings it forward.
    void ShowSettings();
    // Places the window over the middle of its parent's window.
    void CentreOnParent();

    // Handlers, public so the tests run them as the controls do.
    void CB_RepeaterChange(QWidget *control);
    void iBtn_SaveClick();
    void iBtn_CancelClick();
    void iBtn_RestoreDefClick();

    // A value from the gateway: applied with the control's notification detached, and not at
    // all while the control shows the same, carries the user's unsent change, or (a list) is
    // dropped down. An index outside the list leaves the list without a selection.
    static void SetComboSilently(QComboBox *box, int index);
    static void SetSpinSilently(QDoubleSpinBox *field, double value);

    QLabel *Pan_PortTitle;
    TFrame_PortServiceRegs *Frm_RS485;
    TFrame_PortServiceRegs *Frm_RS232;
    TFrame_PortServiceRegs *Frm_USB;
    QPushButton *iBtn_Save;
    QPushButton *iBtn_Cancel;
    QPushButton *iBtn_RestoreDef;
    QLabel *Pan_ExpertTitle;
    QLabel *Lb_PowerLineCap;
    QComboBox *ComboBox_PowerLine;

protected:
    void showEvent(QShowEvent *event) override;
    // Closing only hides the window, and hides the expert controls with it.
    void done(int result) override;

private:
    // The control that shows a setting.
    QWidget *control(const ServiceSettings::Setting &setting) const;
    void setButtonsEdited(bool edited);

    TTarvikKomunikator *FKomunikator = nullptr;
};
