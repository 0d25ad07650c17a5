#pragma once

#include <QString>
#include <exception>
#include <functional>

// Exceptions never cross Qt's event loop. Every slot, timer tick or callback that can throw runs
// its body through ErrorGuard::run, which hands the exception's text to the application's
// handler (the main window installs its own; until then the text goes to the log).
class ErrorGuard
{
public:
    using Handler = std::function<void(const QString &message)>;

    static void setHandler(Handler handler);
    // Runs body; an exception it throws is reported to the handler and swallowed.
    // Returns false when an exception was caught.
    static bool run(const std::function<void()> &body);
    static void report(const QString &message);
};
