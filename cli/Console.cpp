#include "Console.h"

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
void writeLine(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
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
    writeLine(stdout, text);
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
