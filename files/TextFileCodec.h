#pragma once

#include <QByteArray>
#include <QStringList>

// How the tool's text files look on disk: lines ended by CR LF; UTF-8 without a byte order mark
// (the ANSI code page on Windows). Reading takes any line end, and a file that is not valid
// UTF-8 is read as Windows-1250, the code page of files from Czech Windows systems.
class TextFileCodec
{
public:
    static QByteArray encode(const QStringList &lines);
    static QString decode(const QByteArray &bytes);
    static QStringList splitLines(const QString &text);
    // The bytes of one Windows-1250 text as Unicode.
    static QString fromWindows1250(const QByteArray &bytes);
};
