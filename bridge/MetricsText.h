#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// The gateway's figures in Prometheus' text exposition format (version 0.0.4). Channel and
// line samples are given only while the gateway answers: a value nobody has read lately is
// left out rather than shown as if current.
struct MetricsSnapshot
{
    struct Channel
    {
        int number = 0;
        QString rom;
        QString description;
        int status = 0;
        std::optional<double> temperature; // thermometers with a good reading
        std::optional<double> lastGoodSeconds; // Unix time of the last reading with status OK
    };

    struct Line
    {
        int line = 0; // 1 or 2
        int status = 0; // 0 OK, 1 line in high, 2 short circuit
    };

    QString gateway;
    bool linkUp = false;
    bool mqttConnected = false;
    // Totals since the bridge started (the link's own counters restart at each open).
    qint64 requests = 0;
    qint64 answers = 0;
    qint64 errors = 0;
    std::optional<double> cycleSeconds; // the last full round over the channel blocks
    std::optional<double> lastAnswerSeconds; // Unix time of the last accepted answer
    QList<Channel> channels;
    QList<Line> lines; // those whose channels have all been read
};

class MetricsText
{
public:
    static QByteArray render(const MetricsSnapshot &snapshot) { return render(QList<MetricsSnapshot>{snapshot}); }
    // Several gateways of one bridge: each family once, with every gateway's samples.
    static QByteArray render(const QList<MetricsSnapshot> &gateways);
    // A label value with backslash, double quote and line feed escaped.
    static QString escapeLabel(const QString &value);
};
