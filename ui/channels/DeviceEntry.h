#pragma once

#include <QString>

class TTarvikKomunikator;

// The dialogs of assigning devices by hand, without the windows: the target channel of a
// device from a found-device list, and a ROM code typed for a channel. Questions and errors go
// through the prompts; what is confirmed goes to the gateway through the communicator.
class DeviceEntry
{
public:
    explicit DeviceEntry(TTarvikKomunikator &komunikator) : m_komunikator(komunikator) {}

    // Save of a listed device with the gateway's index on line 0 or 1: asks for the target
    // channel in the current numbering mode and stores the device there. A closed port, Cancel
    // and a wrong channel number send nothing.
    void SaveFoundDevice(int line, int index);
    // Asks for a channel's ROM code (1..40, shown as displayNumber), starting from its current
    // code, until the entry is valid or cancelled, and writes it into the channel at once.
    void EditRomCode(int channel, int displayNumber, const QString &currentRom);

private:
    TTarvikKomunikator &m_komunikator;
};
