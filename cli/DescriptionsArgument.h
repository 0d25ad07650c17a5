#pragma once

#include "TDescriptionRecord.h"

#include <QList>
#include <QString>

// A channel descriptions file named on the command line (log, serve): its records in the given
// numbering, or a usage failure that names the file and says what is wrong with it.
class DescriptionsArgument
{
public:
    // Throws CliFailure (usage) when the file is missing or is no descriptions file.
    static QList<TDescriptionRecord> load(const QString &path, int numbering);
};
