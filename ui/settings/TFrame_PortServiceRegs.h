#pragma once

#include <QFrame>
#include <QList>
#include <functional>

class QComboBox;
class QDoubleSpinBox;
class QLabel;

// The five settings of one of the gateway's serial ports: baud rate, Modbus address, parity,
// stop bits and answer delay. The owner fills the lists and maps them to registers; the frame
// knows no register numbers. A change of any control, whoever makes it while the control's
// notifications are on, marks the control as edited and is forwarded to OnSettingChange.
class TFrame_PortServiceRegs : public QFrame
{
    Q_OBJECT
public:
    explicit TFrame_PortServiceRegs(QWidget *parent = nullptr);

    // The five controls in tab order: baud rate, address, parity, stop bits, delay.
    QList<QWidget *> controls() const;

    // The change handler of all five controls.
    void ComboBox_BaudRateChange(QWidget *control);
    // Every list without a selection and empty, the delay 0, every mark 0; nothing forwarded.
    void ResetValues();
    // Every mark 0; the values stay on screen.
    void ClearMarks();
    // The single-box forms of ResetValues and ClearMarks, also used for lists outside a frame.
    static void ClearBox(QComboBox *box);
    static void ClearBoxMark(QComboBox *box);

    // Raised after a control's mark is set; may be unset.
    std::function<void(QWidget *control)> OnSettingChange;

    QLabel *Label_Caption;
    QComboBox *ComboBox_BaudRate;
    QComboBox *ComboBox_Addr;
    QComboBox *Cb_Parity;
    QComboBox *Cb_Stopbits;
    QDoubleSpinBox *SpEdit_Delay;
};
