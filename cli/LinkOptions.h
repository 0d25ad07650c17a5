#pragma once

#include "LineSettings.h"

#include <QString>
#include <optional>

// The serial link to the gateway as the command line and the stored settings give it.
struct LinkOptions
{
    QString port;
    qint32 baud = 9600;
    TParity parity = TParity::paNone;
    TStopBits stopBits = TStopBits::sbOne;
    int address = 1;
    std::optional<int> timeoutMs; // how long an answer may take; unset: worked out from the speed

    // "address 1 on /dev/ttyUSB0 at 9600 Bd"
    QString describe() const
    {
        return QStringLiteral("address %1 on %2 at %3 Bd").arg(address).arg(port).arg(baud);
    }
};
