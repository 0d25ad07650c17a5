#pragma once

#include <QObject>

class DeviceEntry;
class TFrame_FindNewTab;
class TFrame_LineTab;
class TFrame_SensorNewBox;
class TTarvikKomunikator;

// The two search panels, one over each line tab: Add New on a line tab opens its panel, the
// panel's buttons send the gateway's search commands for that line and store a found device,
// and Close gives the line tab back. The panels and tabs belong to the window; this only wires
// them to the gateway.
class SearchPanels : public QObject
{
    Q_OBJECT
public:
    SearchPanels(TTarvikKomunikator &komunikator, DeviceEntry &devices, TFrame_LineTab *const tabs[2],
                 TFrame_FindNewTab *const panels[2], QObject *parent = nullptr);

    // Line 0 or 1.
    void open(int line);
    void close(int line);
    void search(int line, void (TTarvikKomunikator::*command)(int line));
    void saveFoundDevice(int line, TFrame_SensorNewBox *box);

private:
    void wire(int line);

    TTarvikKomunikator &m_komunikator;
    DeviceEntry &m_devices;
    TFrame_LineTab *m_tabs[2];
    TFrame_FindNewTab *m_panels[2];
};
