#pragma once

#include <QByteArray>
#include <QString>

// Writes a file whole or not at all: the bytes go to a temporary file beside it, which replaces
// the file only when every byte is on disk. A write that falls short (a full disk, a size
// limit) leaves the former file as it was; QSaveFile alone would put the shortened file in
// its place.
class AtomicFile
{
public:
    // false with the reason when the file could not be written.
    static bool write(const QString &path, const QByteArray &bytes, QString *error = nullptr);
};
