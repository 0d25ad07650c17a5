#pragma once

#include "TDescriptionRecord.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QStringList>

// The channel descriptions text file: the program's name, a title, the date and time, a column
// header, and one tab-separated line per channel (number as shown, ROM code, description).
// Loading matches descriptions to channels by number only; every channel the file does not
// name gets "[not found]".
class DescriptionFile
{
public:
    static constexpr int RecordCount = 40;
    enum class LoadResult { Ok, Missing, NotOurs, ReadError };

    // The lines of the file for the 40 channels in position order.
    static QStringList lines(const QList<TDescriptionRecord> &channels, const QDateTime &now,
                             const QLocale &locale = QLocale());
    // Writes the file whole or not at all; false with the reason when it cannot.
    static bool write(const QString &path, const QList<TDescriptionRecord> &channels, QString *error);
    // The 40 records (line 1's twenty, then line 2's) a file's lines give in a numbering mode
    // (0 zero-based, 1 one-based); nullopt when the first line is not the program's.
    static std::optional<QList<TDescriptionRecord>> parse(const QStringList &lines, int numbering);
    static LoadResult load(const QString &path, int numbering, QList<TDescriptionRecord> &records);

    static QString identification() { return QStringLiteral("1-WIRE-TARVIK Tool V1.09 (OBRIX)"); }
    // What the first line of a file must hold, anywhere in it, for the file to be one of ours.
    static QString programName() { return QStringLiteral("1-WIRE-TARVIK Tool"); }
    static QString notFound() { return QStringLiteral("[not found]"); }
};
