#pragma once

#include "TDescriptionRecord.h"

#include <QList>
#include <QString>

// The descriptions file serve was given, read as the window reads it (UTF-8, or Windows-1250
// when it is not valid UTF-8), its descriptions cleaned for other programs (OutgoingText).
class DescriptionsSource
{
public:
    struct Loaded
    {
        QList<TDescriptionRecord> records;
        // Empty for UTF-8; otherwise what was taken and why, to be said.
        QString encodingNote;
    };

    // Throws CliFailure (usage) naming the file and what is wrong: missing, a directory, no
    // descriptions file.
    static Loaded load(const QString &path, int numbering);
};
