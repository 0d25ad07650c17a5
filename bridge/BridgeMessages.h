#pragma once

#include "TChannelRecord.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The topics and payloads the bridge publishes for one gateway (ID), all under tarvik/ID/
// plus Home Assistant's discovery topics:
//   tarvik/ID/availability          "online" / "offline" (also the broker's last will)
//   tarvik/ID/link                  the serial link: port, state, message counters
//   tarvik/ID/channel/N             one used channel's decoded state (N as shown)
//   homeassistant/sensor/U/config   one thermometer channel as a Home Assistant sensor
// Everything is retained, so a subscriber that comes later sees the present state at once.
class BridgeMessages
{
public:
    static QString availabilityTopic(const QString &id);
    static QString linkTopic(const QString &id);
    static QString channelTopic(const QString &id, int number);
    // "tarvik_ID_28FF15E260160574": one entity per gateway and device. The gateway is part of
    // it because a configuration restored into a second gateway copies its ROM codes.
    static QString uniqueId(const QString &id, const QString &rom);
    static QString discoveryTopic(const QString &id, const QString &rom);
    // Every sensor configuration on the broker, this gateway's among them.
    static QString discoveryPattern();
    // The ROM code whose entity of gateway ID the topic configures; empty for any other topic
    // (another gateway's, even one whose ID starts with this one's).
    static QString romOfDiscoveryTopic(const QString &id, const QString &topic);

    // Whether a channel holds a device (a free position or a line fault before any device was
    // read shows none).
    static bool isUsed(const TChannelRecord &record);
    // Whether the channel's device measures a temperature (its Value1), whatever its status.
    static bool isThermometer(const TChannelRecord &record);

    // The channel's state: channel, rom, family, status, statusText, values, temperature and
    // description. A failed reading gives null for the temperature and every value.
    static QJsonObject state(const TChannelRecord &record, int number, const QString &description);
    // Home Assistant's sensor configuration for a thermometer channel; name is the channel's
    // description or "Ch N".
    static QJsonObject discovery(const QString &id, const QString &rom, int number,
        const QString &name, const QString &firmware);
    static QByteArray compact(const QJsonObject &object);
};
