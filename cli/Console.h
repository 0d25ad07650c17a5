#pragma once

#include <QString>

// The terminal: results on stdout, messages on stderr, and a progress line on stderr that is
// rewritten in place and shown only when stderr is a terminal. Every line is flushed at once,
// so a pipe reading the output sees each line as it is written.
class Console
{
public:
    Console();

    void out(const QString &text);
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
