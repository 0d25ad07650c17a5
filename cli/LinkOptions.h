#pragma once

#include "LineSettings.h"

#include <QList>
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
    // Every address given with --address (several gateways on one line); address is the first.
    QList<int> addresses{1};
    std::optional<int> timeoutMs; // how long an answer may take; unset: worked out from the speed

    // "address 1 on /dev/ttyUSB0 at 9600 Bd"
    QString describe() const
    {
        return QStringLiteral("address %1 on %2 at %3 Bd").arg(address).arg(port).arg(baud);
    }
    // The same link to the gateway at another address of the line.
    LinkOptions at(int otherAddress) const
    {
        LinkOptions other = *this;
        other.address = otherAddress;
        other.addresses = {otherAddress};
        return other;
    }
};
