#pragma once

#include "LinkOptions.h"

#include <QString>
#include <QStringList>

// What tarvik-cli was asked for: the line options (given anywhere on the command line), the
// command and the command's own words. The line settings start from those the window stored
// last, so a technician who used the window needs no options.
struct CliOptions
{
    LinkOptions link;
    int numbering = 0; // channels shown 0..39 (0) or 1..40 (1)
    QString command;
    QStringList arguments;
    bool help = false;

    // Throws a usage CliFailure for an unknown or malformed option.
    static CliOptions parse(const QStringList &arguments);
    static QString usage();
    // The usage of one command: its lines of usage() with the line options and exit codes;
    // empty for a command usage() does not list.
    static QString commandUsage(const QString &command);
};
