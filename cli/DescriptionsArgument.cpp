#include "DescriptionsArgument.h"

#include "CliFailure.h"
#include "DescriptionFile.h"

QList<TDescriptionRecord> DescriptionsArgument::load(const QString &path, int numbering)
{
    QList<TDescriptionRecord> records;
    switch (DescriptionFile::load(path, numbering, records)) {
    case DescriptionFile::LoadResult::Ok:
        return records;
    case DescriptionFile::LoadResult::Missing:
        throw CliFailure::usage(QStringLiteral("File does not exist. (%1)").arg(path));
    case DescriptionFile::LoadResult::NotOurs:
    case DescriptionFile::LoadResult::ReadError:
        break;
    }
    throw CliFailure::usage(QStringLiteral("Error reading file. (%1 is no channel descriptions file)").arg(path));
}
