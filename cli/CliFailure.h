#pragma once

#include <QString>

// How tarvik-cli ends: 0 done, 1 a link or gateway failure, 2 a usage error.
enum class ExitCode : int { Done = 0, Failure = 1, Usage = 2 };

// Ends a command with its exit code and the one line stderr gets. Thrown only outside the
// event loop: waits keep a failure raised inside it and throw it once the loop has returned.
struct CliFailure
{
    ExitCode code = ExitCode::Failure;
    QString message;
    // The port named is not there (never was, or unplugged).
    bool portMissing = false;

    static CliFailure usage(const QString &message) { return {ExitCode::Usage, message, false}; }
    static CliFailure failure(const QString &message) { return {ExitCode::Failure, message, false}; }
};
