#pragma once

#include <QString>

// The ID a gateway is known by in topics, Home Assistant ids and metric labels when --name does
// not give one. It must not change when the adapter comes back under another device name
// (ttyUSB0 today, ttyUSB1 after a replug), or Home Assistant would get a second device with
// duplicate entities: so a port that a link in the by-id folder points to is named after that
// link, which names the adapter itself (maker, model, serial number); any other port after its
// last path part, as it is given. The gateway's address follows, so each gateway on a line has
// its own: "usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0-1", "ttyS0-1".
class GatewayName
{
public:
    static QString defaultByIdFolder();

    // The default ID of the gateway at address on port. byIdFolder is where the stable links
    // to serial adapters are (defaultByIdFolder() but in tests).
    static QString forPort(
        const QString &port, int address, const QString &byIdFolder = defaultByIdFolder());
    // The name of the link in byIdFolder that points to the same device as port (the first in
    // name order if there are several); empty when there is none or the port is no file.
    static QString byIdName(const QString &port, const QString &byIdFolder);
    // Only letters, digits, "-" and "_", which MQTT topics, Home Assistant ids and metric
    // labels all take as they are: any other character becomes "_".
    static QString topicSafe(const QString &text);
};
