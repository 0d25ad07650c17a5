#pragma once

#include "LinkOptions.h"
#include "TAfComPort.h"

class ComPortError;
struct CliFailure;

// The serial port of a command (or the line reached over the network), set to the line
// options. Opening failures come back in the window's own texts with what to do about them
// (the rights hint, the busy port, the server that refused).
class LinkPort
{
public:
    explicit LinkPort(const LinkOptions &link);

    TAfComPort &port() { return m_port; }
    const LinkOptions &link() const { return m_link; }

    // Throws a CliFailure: usage when no port is known, failure when it does not open.
    void open();
    // What a port failure means for the user of the command line.
    static CliFailure failureOf(const ComPortError &error);
    // What is said when the open port disappears (unplugged, its far end gone), with the
    // system's reason where it has one.
    static QString goneText(const QString &port, const QString &reason);
    // The same with the system's reason for a failed open of this port, when the text has none.
    CliFailure failureWithReason(const ComPortError &error);
    // Throws a usage CliFailure when the options name no port.
    void requirePort() const;
    // Lets the bytes still queued for sending go out, then closes the port.
    void close();

private:
    LinkOptions m_link;
    TAfComPort m_port;
};
