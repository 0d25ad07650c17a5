#include "ServiceSettings.h"

#include "TTarvikKomunikator.h"

#include <algorithm>
#include <cmath>

const QStringList ServiceSettings::PowerLineItems = {
    QStringLiteral("0 - Power OFF"),
    QStringLiteral("1 - Power ON"),
    QStringLiteral("2 - Try power OFF every 1 minute while error occurs"),
    QStringLiteral("3 - Try power OFF every 5 minutes while error occurs"),
    QStringLiteral("4 - Try power OFF every 10 minutes while error occurs"),
    QStringLiteral("5 - Try power OFF every 15 minutes while error occurs"),
};

int ServiceSettings::controlIndex(Kind kind, uint16_t value)
{
    switch (kind) {
    case Kind::Address:
    case Kind::StopBits:
        // Both lists start at 1.
        return uint16_t(value - 1);
    case Kind::BaudRate:
        return TTarvikKomunikator::BaudIndexOf(value);
    case Kind::Parity:
    case Kind::Delay:
    case Kind::PowerLine:
        break;
    }
    return value;
}

uint16_t ServiceSettings::registerValue(Kind kind, double shown)
{
    if (kind == Kind::Delay)
        return uint16_t(std::clamp(std::trunc(shown), 0.0, 65535.0));
    const int index = qMax(int(shown), 0);
    switch (kind) {
    case Kind::Address:
    case Kind::StopBits:
        return uint16_t(index + 1);
    case Kind::BaudRate:
        return uint16_t(TTarvikKomunikator::BaudAt(index));
    case Kind::Parity:
    case Kind::PowerLine:
    case Kind::Delay:
        break;
    }
    return uint16_t(index);
}

uint16_t ServiceSettings::defaultValue(Kind kind)
{
    switch (kind) {
    case Kind::Address:
    case Kind::StopBits:
    case Kind::PowerLine:
        return 1;
    case Kind::BaudRate:
        return TTarvikKomunikator::BaudRateTable[TTarvikKomunikator::DefaultBaudIndex];
    case Kind::Parity:
    case Kind::Delay:
        break;
    }
    return 0;
}

QList<TWriteEntry> ServiceSettings::writeList(const std::array<Shown, Count> &shown)
{
    QList<TWriteEntry> writes;
    for (size_t i = 0; i < Settings.size(); ++i)
        if (shown[i].marked)
            writes.append({registerValue(Settings[i].kind, shown[i].value), Settings[i].reg});
    return writes;
}
