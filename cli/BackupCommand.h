#pragma once

#include "TChannelRecord.h"

#include <QList>
#include <QString>

class GatewaySession;
struct CliContext;

// backup FILE.bin [--yes]: the 40 channel records as the poll reads them, in the window's
// configuration file. restore FILE.bin [--verify] [--force] [--yes]: the window's import of
// such a file, each channel freed and its ROM code written, with the progress on stderr. At a
// terminal it first lists the channels whose code changes and asks (--yes answers Yes). A damaged
// file (records out of place, a channel twice) is never written; ROM codes failing their CRC
// only with --force. Every write must be confirmed by the gateway: the first that is not ends
// the restore with what it means for each channel. --verify reads the channels back and lists
// every one whose ROM code differs. Ctrl+C ends a restore between two channels, never between
// freeing a channel and writing its code.
class BackupCommand
{
public:
    static int run(CliContext &ctx);

private:
    static int backup(CliContext &ctx, const QString &path);
    static int restore(CliContext &ctx, const QString &path, bool verify, bool force, bool yes);
    // The channels whose ROM code in the gateway differs from the file's, one line each.
    static QStringList differences(const QList<TChannelRecord> &file, const QList<TChannelRecord> &gateway);
};
