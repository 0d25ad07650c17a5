#pragma once

#include <QStringList>

struct ServeOptions;

// How serve's broker password is kept and sent: warnings to say once at the start, each
// naming what to change. Nothing here stops the bridge.
class SecretChecks
{
public:
    static QStringList warnings(const ServeOptions &options);
    // Loopback: a password sent there does not cross a network.
    static bool isLoopback(const QString &host);
};
