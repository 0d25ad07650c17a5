#pragma once

#include <QString>

// How a serial port is named. On Windows a port is its number n ("COMn", opened as
// "\\.\COMn" above 9, listed as "COM n"); elsewhere it is its device path (/dev/ttyUSB0),
// listed and named in messages as such.
// A line reached over the network keeps its address as its name everywhere
// ("tcp://10.0.0.5:4001", "mbap://[fd00::7]:502"; see NetworkAddress).
class PortNames
{
public:
    // Whether the name has the form "COMn" (any case, n may be 0 or negative).
    static bool isComName(const QString &name);
    // n for a name "COMn" (any case), 0 for any other name.
    static int comNumberOf(const QString &name);
    // The port name of COM port n: "COMn".
    static QString fromComNumber(int n);
    // The device that opens COM port n: "COMn", or "\\.\COMn" above 9.
    static QString windowsDevicePath(int n);
    // The text of a port list item: "COM n" for COM ports, the device path otherwise.
    static QString displayName(const QString &name);
    // How messages name the port: "COMn" for COM ports, the device path otherwise.
    static QString inMessage(const QString &name);
};
