#include "Console.h"

#include "CliFailure.h"

#include <cerrno>
#include <cstdio>
#include <string>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {
// Writes and flushes; 0 when every byte reached the stream's file, else the system's error number.
int writeBytes(FILE *stream, const QByteArray &bytes)
{
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    const int writeError = errno;
    if (std::fflush(stream) == 0 && written && !std::ferror(stream))
        return 0;
    // The reason of whichever failed first; EIO when the library kept none.
    return writeError != 0 ? writeError : (errno != 0 ? errno : EIO);
}

void writeLine(FILE *stream, const QString &text)
{
    writeBytes(stream, text.toUtf8() + '\n');
}

[[noreturn]] void failStdout(int error)
{
    throw CliFailure::failure(QStringLiteral("Cannot write to standard output: %1").arg(qt_error_string(error)));
}
} // namespace

Console::Console() : m_stderrTerminal(isatty(fileno(stderr)) != 0) {}

bool Console::stdinIsTerminal()
{
    return isatty(fileno(stdin)) != 0;
}

QString Console::readLine()
{
    std::string line;
    for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin))
        line.push_back(char(c));
    return QString::fromStdString(line).trimmed();
}

void Console::out(const QString &text)
{
    outBytes(text.toUtf8() + '\n');
}

void Console::outBytes(const QByteArray &bytes)
{
    if (const int error = writeBytes(stdout, bytes))
        failStdout(error);
}

void Console::checkOut()
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        failStdout(errno != 0 ? errno : EIO);
}

void Console::err(const QString &text)
{
    endProgress();
    writeLine(stderr, text);
}

void Console::progress(const QString &text)
{
    if (!m_stderrTerminal)
        return;
    // Back to the line's start, the text, then the rest of the line cleared.
    const QByteArray bytes = "\r" + text.toUtf8() + "\x1b[K";
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
    m_progressShown = true;
}

void Console::endProgress()
{
    if (!m_progressShown)
        return;
    m_progressShown = false;
    std::fputc('\n', stderr);
    std::fflush(stderr);
}
