#pragma once

#include "RomCode.h"
#include "TChannelRecord.h"

#include <QString>
#include <functional>
#include <optional>

class TTarvikKomunikator;

// The dialogs of assigning devices by hand, without the windows: the target channel of a
// device from a found-device list, a ROM code typed for a channel, and the service buttons of
// a channel. Questions and errors go through the prompts; what is confirmed goes to the
// gateway through the communicator. A channel that holds a device (as last read) is freed or
// given another device only after the user said Yes to a question that names it.
class DeviceEntry
{
public:
    explicit DeviceEntry(TTarvikKomunikator &komunikator) : m_komunikator(komunikator) {}

    // The record of channel 1..40 as last read from the gateway; set by the window. Unset, no
    // channel counts as holding a device.
    std::function<TChannelRecord(int channel)> LastRecord;

    // Save of a listed device (rom, with the gateway's index) on line 0 or 1: asks for the
    // target channel in the current numbering mode and stores the device there. A closed port,
    // Cancel, a wrong channel number and No to replacing another device send nothing.
    void SaveFoundDevice(int line, int index, const RomCode::Words &rom = {});
    // Asks for a channel's ROM code (1..40, shown as displayNumber), starting from currentRom
    // (empty for a channel that holds no device), until the entry is valid or cancelled, and
    // writes it into the channel at once. A code that fails its CRC is written only after Yes.
    void EditRomCode(int channel, int displayNumber, const QString &currentRom);
    // "Save new" of channel 1..40: stores the device Find New found on the channel's line
    // (found: its code, when the gateway showed one).
    void SaveNewDevice(int channel, const std::optional<RomCode::Words> &found);
    // "Delete" of channel 1..40: frees the channel.
    void DeletePosition(int channel);

    // The questions, naming the channel and the device it holds.
    static QString freeQuestion(int channel, const RomCode::Words &held);
    static QString replaceQuestion(int channel, const RomCode::Words &held, const std::optional<RomCode::Words> &found);

private:
    // Whether channel may get found (or be freed when found is unset): yes when it holds no
    // other device, else the user's answer.
    bool mayReplace(int channel, const std::optional<RomCode::Words> &found, bool freeing);

    TTarvikKomunikator &m_komunikator;
};
