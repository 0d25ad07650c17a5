#pragma once

#include <QString>
#include <QStringList>

// What the tool was asked for on its command line.
struct CommandLine
{
    QString port;         // --port NAME: preselect (and if needed list) this port
    bool connect = false; // --connect: tick Connected once the window is up
    bool demo = false;    // --demo: run the built-in simulated gateway and connect to it
    bool help = false;    // --help, -h: print the usage and end
    bool monitor = false; // --traffic-monitor: open the traffic monitor with the window
    bool chart = false;   // --trend-chart: open the trend chart with the window
    QString error;        // why the command line was refused; empty when it was fine

    static CommandLine parse(const QStringList &arguments);
    // The usage text printed for --help and after a refused command line.
    static QString usage();
};
