#pragma once

#include "RegisterMap.h"

#include <QList>
#include <array>

class DataLogger;
class QLabel;
class TFrame_FindNewTab;
class TFrame_LineTab;
class TFrame_SensorBox;
class TFrame_SensorNewBox;
class TdlgTarvikSettings;
class TemperatureHistory;

// Routes every block the poll cycle accepted to what shows it: a channel block to its ten
// sensor boxes, the temperature history, the recorder and both lines' states; the service
// block to the version labels, the search panels and the settings dialog; a found-device list
// to its panel's boxes. The displays belong to the window and outlive this object.
class PollDispatch
{
public:
    struct Targets
    {
        QList<TFrame_SensorBox *> sensorBoxes;  // the 40, in channel order
        QList<TFrame_LineTab *> lineTabs;       // line 1's, line 2's
        QList<TFrame_SensorNewBox *> newBoxes;  // the 40 found-device boxes
        QList<TFrame_FindNewTab *> searchPanels;
        TdlgTarvikSettings *settings = nullptr;
        QLabel *firmwareVersion = nullptr;
        QLabel *hardwareVersion = nullptr;
        TemperatureHistory *history = nullptr;
        DataLogger *logger = nullptr;
    };

    explicit PollDispatch(Targets targets) : m_t(std::move(targets)) {}

    void Dispatch(const std::array<uint16_t, PollBlockSize> &registers, uint16_t start);

private:
    Targets m_t;
};
