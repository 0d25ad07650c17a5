#pragma once

#include <QByteArray>
#include <QString>

// What a file chosen for the gateway's program memory must not be, and what the user is asked
// before it is written. A program image is raw binary: the tool's own files (a configuration
// backup, a channel descriptions file, a data log) and text of any kind are not, and written
// into the spare program memory they would be taken for a program at the next restart with
// the PGM switch on.
class FirmwareFileCheck
{
public:
    // What the bytes are when they cannot be a program image ("a configuration backup of the
    // gateway's channels", "a text file"); empty when they may be one.
    static QString foreignKind(const QByteArray &bytes);
    // The refusal of the file at path ("PATH is a text file, not a firmware image."); empty
    // when it may be written, or when it cannot be read (the loader says why then).
    static QString refusal(const QString &path);
    // "Program the device memory with fw.bin (65,536 bytes, 373 frames, about 1 min 52 s)?":
    // the file's name without its folder, its size, and the frames and time the job takes
    // at frameMs a frame.
    static QString question(const QString &path, int imageLength, int frameMs);
    // "1 min 52 s", "45 s": whole seconds, rounded.
    static QString durationText(qint64 ms);
};
