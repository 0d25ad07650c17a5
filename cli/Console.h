#pragma once

#include <QByteArray>
#include <QString>

// The terminal: results on stdout, messages on stderr, and a progress line on stderr that is
// rewritten in place and shown only when stderr is a terminal. Every line is flushed at once,
// so a pipe reading the output sees each line as it is written.
//
// Output that does not arrive is a failure: a write to stdout that fails (a full disk, a
// closed pipe end, a closed stdout) throws the usage-free CliFailure with the system's reason,
// so the command ends with exit code 1 instead of reporting success over lost output. Called
// outside the event loop only, as every CliFailure is thrown.
class Console
{
public:
    Console();

    void out(const QString &text);
    // Bytes as they are (a binary file written to stdout), flushed.
    void outBytes(const QByteArray &bytes);
    // Throws when anything written to stdout so far was lost: the last check before exit 0.
    void checkOut();
    void err(const QString &text);
    void progress(const QString &text);
    // Ends a shown progress line, so the next message starts on a line of its own.
    void endProgress();

    bool stderrIsTerminal() const { return m_stderrTerminal; }
    static bool stdinIsTerminal();
    // One line typed on stdin, without its line end; empty at the end of input.
    static QString readLine();

private:
    bool m_stderrTerminal = false;
    bool m_progressShown = false;
};
