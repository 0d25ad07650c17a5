#include "CommandLine.h"

#include "NetworkAddress.h"

#include <QCommandLineParser>

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine result;
    QCommandLineParser p;
    p.addOptions({
        {QStringLiteral("port"), QStringLiteral("Preselect this serial port or network address."), QStringLiteral("NAME")},
        {QStringLiteral("connect"), QStringLiteral("Connect once the window is up.")},
        {QStringLiteral("demo"), QStringLiteral("Run the built-in simulated gateway and connect to it.")},
        {QStringLiteral("traffic-monitor"), QStringLiteral("Open the traffic monitor with the window.")},
        {QStringLiteral("trend-chart"), QStringLiteral("Open the trend chart with the window.")},
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")},
    });
    if (!p.parse(arguments)) {
        result.error = p.errorText();
        return result;
    }
    if (!p.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("Unexpected argument: %1").arg(p.positionalArguments().first());
        return result;
    }
    result.help = p.isSet(QStringLiteral("help"));
    result.monitor = p.isSet(QStringLiteral("traffic-monitor"));
    result.chart = p.isSet(QStringLiteral("trend-chart"));
    result.port = p.value(QStringLiteral("port"));
    result.connect = p.isSet(QStringLiteral("connect"));
    result.demo = p.isSet(QStringLiteral("demo"));
    if (p.isSet(QStringLiteral("port")) && result.port.trimmed().isEmpty())
        result.error = QStringLiteral("--port needs a port name");
    if (NetworkAddress::isNetworkName(result.port)) {
        QString why;
        if (const auto address = NetworkAddress::parse(result.port, &why))
            result.port = address->name();
        else
            result.error = QStringLiteral("--port %1: %2 (give tcp://HOST:PORT or mbap://HOST:PORT)").arg(result.port.trimmed(), why);
    }
    return result;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: tarvik-tool [--port NAME] [--connect] [--demo] [--traffic-monitor] [--trend-chart]\n"
        "  --port NAME  preselect this serial port (also one the system does not list), or a\n"
        "               line reached over the network: tcp://HOST:PORT (a serial server in\n"
        "               raw mode) or mbap://HOST:PORT (a Modbus TCP gateway)\n"
        "  --connect    connect once the window is up\n"
        "  --demo       run the built-in simulated gateway and connect to it\n"
        "  --traffic-monitor, --trend-chart\n"
        "               open that window too\n"
        "  -h, --help   show this help\n");
}
