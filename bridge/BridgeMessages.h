#pragma once

#include "RomCode.h"
#include "TChannelRecord.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// The topics and payloads the bridge publishes for one gateway (ID), all under PREFIX/ID/
// (PREFIX "tarvik" unless --topic-prefix says otherwise) plus Home Assistant's discovery
// topics under DISCOVERY ("homeassistant" unless --discovery-prefix says otherwise), with the
// gateway's node tarvik_ID:
//   PREFIX/ID/availability     "online" / "offline" (also the broker's last will, with one
//                              gateway; with several, PREFIX/BRIDGE/bridge is)
//   PREFIX/ID/link             the serial link: port, state, message counters
//   PREFIX/ID/line/L           the state of 1-Wire line L (1, 2)
//   PREFIX/ID/channel/N        one used channel's decoded state (N as shown)
//   DISCOVERY/sensor/tarvik_ID/chC_ROM/config     a thermometer channel (C: 1-40)
//   DISCOVERY/binary_sensor/tarvik_ID/lineL/config  a line's problem sensor
//   DISCOVERY/sensor/tarvik_ID/KEY/config         a diagnostic of the link (link, firmware...)
// Everything is retained, so a subscriber that comes later sees the present state at once.
// Earlier versions configured a thermometer at DISCOVERY/sensor/tarvik_ID_ROM/config (one
// entity per device, whatever channel held it); those are recognised so they can be withdrawn.
class BridgeMessages
{
public:
    struct ChannelEntity
    {
        int channel = 0; // 1-40
        QString rom;
    };
    // One diagnostic entity of the link: its object id and the link topic's field it shows.
    struct Diagnostic
    {
        const char *key;
        const char *name;
        const char *field;
        const char *deviceClass; // or nullptr
        const char *unit; // or nullptr
        const char *stateClass; // or nullptr
    };
    static const QList<Diagnostic> &diagnostics();

    BridgeMessages(const QString &id, const QString &topicPrefix = defaultTopicPrefix(),
        const QString &discoveryPrefix = defaultDiscoveryPrefix());
    static QString defaultTopicPrefix() { return QStringLiteral("tarvik"); }
    static QString defaultDiscoveryPrefix() { return QStringLiteral("homeassistant"); }

    const QString &id() const { return m_id; }
    QString availabilityTopic() const;
    // With several gateways on one bridge: PREFIX/BRIDGE/bridge, "online" while the bridge
    // runs and "offline" as its last will, which the broker can send for one topic only. Every
    // entity is then available only while both its gateway and the bridge are online.
    static QString bridgeTopic(const QString &topicPrefix, const QString &bridge);
    void setBridgeTopic(const QString &topic) { m_bridgeTopic = topic; }
    QString linkTopic() const;
    QString lineTopic(int line) const;
    QString channelTopic(int number) const;

    // "tarvik_ID_ch12_28FF15E260160574": one entity per gateway, channel and device. The
    // gateway is part of it because a configuration restored into a second gateway copies its
    // ROM codes, the channel because one ROM code may be written into two channels.
    QString channelEntityId(int channel, const QString &rom) const;
    QString channelDiscoveryTopic(int channel, const QString &rom) const;
    QString lineDiscoveryTopic(int line) const;
    QString diagnosticDiscoveryTopic(const Diagnostic &d) const;
    // Every entity configuration of this gateway's node, and every sensor configuration
    // without a node (where earlier versions put theirs, other programs' among them).
    QString entityPattern() const;
    QString oldEntityPattern() const;
    // The channel and ROM code of this gateway's thermometer entity the topic configures;
    // nullopt for any other topic.
    std::optional<ChannelEntity> channelEntityOf(const QString &topic) const;
    // The ROM code whose entity of this gateway an earlier version configured at the topic;
    // empty for any other topic (another gateway's, even one whose ID starts with this one's).
    QString romOfOldDiscoveryTopic(const QString &topic) const;
    QString oldDiscoveryTopic(const QString &rom) const;

    // Whether a channel holds a device (a free position or a line fault before any device was
    // read shows none).
    static bool isUsed(const TChannelRecord &record);
    // Whether the channel's device measures a temperature (its Value1), whatever its status.
    static bool isThermometer(const TChannelRecord &record);
    static bool isThermometer(const RomCode::Words &rom);

    // Words for every status code of a channel or line: the window's, and for a channel not
    // read yet (which the window leaves blank) "Not read yet".
    static QString statusText(uint8_t status);
    // The channel's state: channel, rom, family, status, statusText, values, temperature and
    // description. A failed reading gives null for the temperature and every value.
    static QJsonObject state(const TChannelRecord &record, int number, const QString &description);
    // A line's state: line, state ("OK", "Line in high", "Short circuit") and status (0, 1, 2).
    static QJsonObject lineState(int line, int status);
    // Home Assistant's sensor configuration for a thermometer channel; name is the channel's
    // description or "Ch N".
    QJsonObject channelDiscovery(int channel, int number, const QString &rom, const QString &name,
        const QString &firmware) const;
    // A binary sensor of class problem: on while the line reports a fault.
    QJsonObject lineDiscovery(int line, const QString &firmware) const;
    // One figure of the link topic as a diagnostic entity. It stays available while the
    // gateway is offline: then the link's state says why.
    QJsonObject diagnosticDiscovery(const Diagnostic &d, const QString &firmware) const;
    static QByteArray compact(const QJsonObject &object);

private:
    QString base() const;
    QString node() const;
    QJsonObject device(const QString &firmware) const;
    void addAvailability(QJsonObject &config) const;

    QString m_id;
    QString m_topicPrefix;
    QString m_discoveryPrefix;
    QString m_bridgeTopic;
};
