#include "MetricsText.h"

#include <QStringList>

namespace {

QString number(double value)
{
    return QString::number(value, 'g', 15);
}

class Writer
{
public:
    void family(const char *name, const char *type, const char *help)
    {
        m_name = QLatin1String(name);
        m_lines << QStringLiteral("# HELP %1 %2").arg(m_name, QLatin1String(help))
                << QStringLiteral("# TYPE %1 %2").arg(m_name, QLatin1String(type));
    }
    void sample(const QString &labels, const QString &value)
    {
        m_lines << m_name + QLatin1Char('{') + labels + QStringLiteral("} ") + value;
    }
    QByteArray text() const
    {
        return (m_lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    }

private:
    QString m_name;
    QStringList m_lines;
};

} // namespace

QString MetricsText::escapeLabel(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('"'))
            out += QStringLiteral("\\\"");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else
            out += c;
    }
    return out;
}

QByteArray MetricsText::render(const QList<MetricsSnapshot> &gateways)
{
    const auto gatewayLabel = [](const MetricsSnapshot &s) {
        return QStringLiteral("gateway=\"%1\"").arg(escapeLabel(s.gateway));
    };
    const auto channelLabels = [&](const MetricsSnapshot &s, const MetricsSnapshot::Channel &c) {
        return QStringLiteral("%1,channel=\"%2\",rom=\"%3\",description=\"%4\"")
            .arg(gatewayLabel(s))
            .arg(c.number)
            .arg(escapeLabel(c.rom), escapeLabel(c.description));
    };
    const auto shown = [](const MetricsSnapshot &s) {
        return s.linkUp ? s.channels : QList<MetricsSnapshot::Channel>();
    };

    Writer w;
    w.family("tarvik_temperature_celsius", "gauge",
        "Temperature a thermometer channel reads, in degrees Celsius.");
    for (const MetricsSnapshot &s : gateways)
        for (const auto &c : shown(s))
            if (c.temperature)
                w.sample(channelLabels(s, c), number(*c.temperature));
    w.family("tarvik_channel_status", "gauge",
        "Status code of a used channel: 0 OK, 1 line in high, 2 short circuit, 3 unsupported "
        "family, "
        "4 CRC error, 5 timeout, 254 not read.");
    for (const MetricsSnapshot &s : gateways)
        for (const auto &c : shown(s))
            w.sample(channelLabels(s, c), QString::number(c.status));
    w.family("tarvik_channel_last_good_timestamp_seconds", "gauge",
        "Unix time of the channel's last reading with status OK.");
    for (const MetricsSnapshot &s : gateways)
        for (const auto &c : s.channels)
            if (c.lastGoodSeconds)
                w.sample(channelLabels(s, c), number(*c.lastGoodSeconds));
    w.family("tarvik_line_status", "gauge",
        "State of a 1-Wire line: 0 OK, 1 line in high, 2 short circuit.");
    for (const MetricsSnapshot &s : gateways)
        if (s.linkUp)
            for (const auto &l : s.lines)
                w.sample(QStringLiteral("%1,line=\"%2\"").arg(gatewayLabel(s)).arg(l.line),
                    QString::number(l.status));
    w.family("tarvik_link_up", "gauge", "1 while the gateway answers on its serial line, else 0.");
    for (const MetricsSnapshot &s : gateways)
        w.sample(gatewayLabel(s), s.linkUp ? QStringLiteral("1") : QStringLiteral("0"));
    w.family("tarvik_mqtt_connected", "gauge",
        "1 while the bridge is connected to its MQTT broker, else 0.");
    for (const MetricsSnapshot &s : gateways)
        w.sample(gatewayLabel(s), s.mqttConnected ? QStringLiteral("1") : QStringLiteral("0"));
    w.family("tarvik_requests_total", "counter", "Read requests sent to the gateway.");
    for (const MetricsSnapshot &s : gateways)
        w.sample(gatewayLabel(s), QString::number(s.requests));
    w.family(
        "tarvik_answers_total", "counter", "Answers from the gateway that passed every check.");
    for (const MetricsSnapshot &s : gateways)
        w.sample(gatewayLabel(s), QString::number(s.answers));
    w.family(
        "tarvik_errors_total", "counter", "Requests that went unanswered or got a bad answer.");
    for (const MetricsSnapshot &s : gateways)
        w.sample(gatewayLabel(s), QString::number(s.errors));
    w.family("tarvik_poll_cycle_seconds", "gauge",
        "Duration of the last full round over the channel blocks.");
    for (const MetricsSnapshot &s : gateways)
        if (s.cycleSeconds)
            w.sample(gatewayLabel(s), number(*s.cycleSeconds));
    w.family("tarvik_last_answer_timestamp_seconds", "gauge",
        "Unix time of the gateway's last accepted answer.");
    for (const MetricsSnapshot &s : gateways)
        if (s.lastAnswerSeconds)
            w.sample(gatewayLabel(s), number(*s.lastAnswerSeconds));
    return w.text();
}
