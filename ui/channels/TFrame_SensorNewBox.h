#pragma once

#include "RomCode.h"

#include <QFrame>

class QLabel;
class QToolButton;

// One entry of a line's found-device list on the search panel: the box number (1..40 over
// both panels, shown as 0..19 and 20..39 whatever the numbering mode), the ROM code and the
// gateway's index of the device last listed there, and the Save button that stores it into a
// channel.
class TFrame_SensorNewBox : public QFrame
{
    Q_OBJECT
public:
    // number is 1..20 on line 1's panel and 21..40 on line 2's; n is 1..20 within the panel.
    TFrame_SensorNewBox(int number, int n, QWidget *parent = nullptr);

    int number() const { return m_number; }
    int index() const { return m_index; }
    // The ROM code shown; all 0 while the box is empty.
    const RomCode::Words &rom() const { return m_rom; }

    // Shows a found-device record meant for this box: only when its number is this box's and
    // its ROM code is not all zero; otherwise the box keeps what it shows.
    void ShowFoundDevice(int number, const RomCode::Words &rom, uint16_t index);
    // Empty labels, Save disabled.
    void ResetBox();

    QLabel *Label_Channel;
    QLabel *Label_ROMCode;
    QLabel *Label_Index;
    QToolButton *SpeedButton_Save;

signals:
    void saveClicked(TFrame_SensorNewBox *box);

private:
    int m_number;
    int m_index = 0;
    RomCode::Words m_rom{};
};
