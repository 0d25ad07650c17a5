#pragma once

#include <QStringList>

// The serial ports this computer has, as the port list shows them: "COMn" names on Windows
// (sorted by number), device paths elsewhere (sorted by name).
//
// On Linux the ports are read straight from sysfs. The general enumeration (through udev)
// reads some three thousand files per call, about 20 ms, which the port list paid before the
// main window could show and again every ten seconds while disconnected; reading the tty
// class directly costs a few dozen small reads and lists the same ports.
class SerialPortList
{
public:
    // The highest COM port number listed on Windows.
    static constexpr int MaxComPorts = 200;

    static QStringList available();

    // The Linux listing over a given sysfs tty class folder and device folder (tests use a
    // made-up tree). A tty is a serial port when it has a device behind it (virtual consoles,
    // ptmx and pseudo-terminals have none) and its device node exists; a legacy 8250 slot the
    // kernel reserves without a UART behind it reports type 0 and is left out.
    static QStringList fromSysfs(const QString &ttyClassDir, const QString &devDir);
};
