#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class TFrame_Komunikace;

// The main window's left column, top to bottom: the "Communication" heading and the connection
// panel, the "Port settings" heading and its Edit button, the firmware and hardware version
// labels, and the logo at the foot.
class ConnectionColumn : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Width = 154;

    explicit ConnectionColumn(QWidget *parent);

    TFrame_Komunikace *panel() const { return m_panel; }
    QPushButton *settingsButton() const { return m_settingsButton; }
    QLabel *firmwareLabel() const { return m_firmware; }
    QLabel *hardwareLabel() const { return m_hardware; }

private:
    TFrame_Komunikace *m_panel;
    QPushButton *m_settingsButton;
    QLabel *m_firmware;
    QLabel *m_hardware;
};
