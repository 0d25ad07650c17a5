#pragma once

#include <QString>
#include <optional>

class QSettings;

// The connection settings kept per user between runs (group "CommSetting"): the port (or the
// network address) and the list indexes of speed, address, parity and stop bits, and the USB
// box. Every value is read on its own: one that is missing, not a number or outside its list
// keeps its default, and the others are still restored.
struct CommSettings
{
    static constexpr int BaudCount = 16;
    static constexpr int AddressCount = 247;
    static constexpr int ParityCount = 3;
    static constexpr int StopBitCount = 2;
    static constexpr int MaxComNumber = 200;

    std::optional<int> comNumber;  // Windows: COM port number 1..200
    // elsewhere the device path; on every system a network address ("tcp://HOST:PORT",
    // "mbap://HOST:PORT") when the port is a line reached over the network
    std::optional<QString> portName;
    int baudIndex = 5;
    int addressIndex = 0;
    int parityIndex = 0;
    int stopBitIndex = 0;
    bool usbChecked = false;

    // The product's settings store: per user, organisation "Quarnel", application
    // "1-WIRE-TARVIK Tool".
    static QSettings *openStore();
    // From now on the store is this INI file instead of the user's own (test programs).
    static void redirectStore(const QString &iniFile);
    static CommSettings load(QSettings &store);
    void save(QSettings &store) const;
};
