#pragma once

#include "RegisterMap.h"
#include "RomCode.h"

#include <QFrame>
#include <QList>
#include <array>
#include <optional>

class QLabel;
class QPushButton;
class TFrame_SensorNewBox;

// The device search of one 1-Wire line: the title bar with Close, the three search commands
// (Find New with the ROM code it found, Find New All, Find All), the twenty boxes of the line's
// found-device list, and a status bar with the last command the gateway received and its
// verdict. It lies over the other line's tab and is hidden until that line's Add New opens it.
// The gateway does the searching; the panel only shows what the poll cycle reads back.
class TFrame_FindNewTab : public QFrame
{
    Q_OBJECT
public:
    // line is 1 or 2; its boxes are numbered 1..20 or 21..40.
    explicit TFrame_FindNewTab(int line, QWidget *parent = nullptr);

    int line() const { return m_line; }
    const QList<TFrame_SensorNewBox *> &boxes() const { return m_boxes; }

    // Empties the New field, the command and the status, and every box.
    void ClearPanel();
    // Appends the panel's boxes to list, leaving out those already in it.
    void AddBoxesTo(QList<TFrame_SensorNewBox *> &list) const;
    // Shows the line's part of the service block: last command, operation status, new ROM code.
    void ShowServiceBlock(const std::array<uint16_t, PollBlockSize> &service);
    // The ROM code Find New found, as the last service block showed it; none after ClearPanel
    // or when it is all 0 or all 0xFFFF.
    std::optional<RomCode::Words> newRomCode() const { return m_newRom; }
    // The text of an operation status word.
    static QString StatusText(uint16_t word);

    QLabel *Label_Caption;
    QPushButton *Button_Close;
    QPushButton *Button_FindNew;
    QFrame *Panel_FindNew;
    QLabel *Label_NewROMCode;
    QPushButton *Button_FindNewAll;
    QPushButton *Button_FindAll;
    QLabel *Label_Command;
    QLabel *Label_Status;

signals:
    void closeClicked();
    void findNewClicked();
    void findNewAllClicked();
    void findAllClicked();
    // Save of a listed device, with the box it belongs to.
    void saveClicked(TFrame_SensorNewBox *box);

private:
    int m_line;
    QList<TFrame_SensorNewBox *> m_boxes;
    std::optional<RomCode::Words> m_newRom;
};
