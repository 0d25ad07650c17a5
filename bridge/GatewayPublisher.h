#pragma once

#include "BridgeMessages.h"
#include "ChannelDevice.h"
#include "LinkOptions.h"
#include "MetricsText.h"
#include "RegisterMap.h"
#include "TChannelRecord.h"
#include "TCounterSnapshot.h"
#include "TDescriptionRecord.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>

class MqttLink;

// Everything the bridge publishes for one gateway: its channels' retained state and Home
// Assistant entities, its lines' state, its availability and link state, its message counters
// and its metrics series. The owner feeds it the blocks the gateway answered and what happens
// to the port; it keeps the gateway's state and hands what changed to the broker (sending only
// changes, the whole present state again after each connection).
//
// Faults are reported, not hidden: a channel on a line with a fault keeps its entity, its
// retained state (with the fault's status and no values) and its metrics series; an entity is
// withdrawn only once two reads in a row show its channel free or holding another device
// (ChannelDevice). After each connection the broker's retained entities of this gateway are
// gathered for a moment before any configuration is sent, so that entities an earlier run left
// behind are known: those of devices gone are withdrawn by the same rule, and those in an
// earlier version's form (one per ROM code, whatever the channel) give way to their channel's.
class GatewayPublisher : public QObject
{
    Q_OBJECT
public:
    enum class LinkState { PortClosed, Opening, Answering, Silent };
    using Block = std::array<uint16_t, PollBlockSize>;
    using Say = std::function<void(const QString &line)>;
    // The link's message counters for this gateway; they start again at each open.
    using CounterSource = std::function<TCounterSnapshot()>;

    // topics name the gateway and where its messages go; with discovery off no entity is
    // configured or withdrawn. silenceMs is how long the gateway may stay silent before it is
    // reported offline.
    GatewayPublisher(const BridgeMessages &topics, bool discovery, const LinkOptions &link,
        int silenceMs, MqttLink &mqtt, Say say, CounterSource counters, QObject *parent = nullptr);

    const QString &id() const { return m_topics.id(); }
    LinkState linkState() const { return m_linkState; }

    // Publishes the present state and starts following the broker's connections.
    void start();
    // The port opened: every channel is unknown again until it has been read.
    void portOpened();
    // The port could not be opened or went away (reason says which).
    void portClosed(const QString &reason);
    // The bridge is ending: the state becomes "stopped" without a word to the broker.
    void stop();
    // "offline" and the link's last state, sent whatever was sent before.
    void sayGoodbye();

    // One accepted answer of the gateway: a channel block or the service block.
    void takeBlock(int block, const Block &registers);
    // Every channel and the service block have been read since the port opened.
    bool wholeRoundRead() const;

    void setDescriptions(const QList<TDescriptionRecord> &descriptions);
    // The state again (the heartbeat): forced, even when it did not change.
    void republish() { publishEverything(true); }
    // Counts what the link counted since the last look.
    void accountCounters();
    MetricsSnapshot metrics();

private:
    struct Channel
    {
        std::optional<TChannelRecord> record; // as last read since the port opened
        ChannelDevice device;
        // The ROM codes of this channel's entities on the broker (configured on this
        // connection or found there), not yet withdrawn.
        QSet<QString> entities;
        std::optional<QDateTime> lastGood;
    };

    void onSilence();
    void setLinkState(LinkState state, const QString &reason = QString());
    void takeChannels(int block, const Block &registers);

    void onBrokerConnected();
    void onBrokerMessage(const QString &topic, const QByteArray &payload);
    void gatherEntities();
    void endEntityGathering();
    // Whether entities may be configured or withdrawn now.
    bool configuring() const;
    void withdrawLeftoverOldEntities();
    void publish(const QString &topic, const QByteArray &payload, bool force = false);
    void publishEverything(bool force);
    void publishChannel(int index, bool force);
    void publishDiscovery(int index, bool force);
    void publishGatewayEntities(bool force);
    void publishLines(bool force);
    void publishAvailability(bool force);
    void publishLink(bool force);
    // The state of line 0 or 1 from its channels' statuses; nullopt until all were read.
    std::optional<int> lineStatus(int line) const;
    QString description(int index) const;

    BridgeMessages m_topics;
    bool m_discovery;
    LinkOptions m_link;
    int m_silenceMs;
    MqttLink &m_mqtt;
    Say m_say;
    CounterSource m_counterSource;
    QTimer m_silence;
    LinkState m_linkState = LinkState::PortClosed;
    QString m_linkReason;
    QDateTime m_linkSince;
    bool m_serviceRead = false; // the service block was read since the port opened
    std::array<Channel, ChannelMap::ChannelCount> m_channels{};
    QList<TDescriptionRecord> m_descriptions;
    QString m_firmware;
    QElapsedTimer m_round;
    std::optional<double> m_cycleSeconds;
    std::optional<QDateTime> m_lastAnswer;
    TCounterSnapshot m_counted{};
    qint64 m_requests = 0;
    qint64 m_answers = 0;
    qint64 m_errors = 0;
    // What went to the broker on this connection, by topic: only changes are sent again.
    QHash<QString, QByteArray> m_sent;
    // While the broker's retained entities are gathered, after each connection, no entity is
    // configured or withdrawn.
    bool m_gathering = false;
    QTimer m_entityGathering;
    // The ROM codes of entities in an earlier version's form still on the broker.
    QSet<QString> m_oldEntities;
};
