#pragma once

#include "TChannelRecord.h"
#include "TDescriptionRecord.h"

#include <QList>
#include <QStringList>

// The two versions the kill test's writer alternates between, and its CSV rows.
namespace KillVersions {

inline QList<TChannelRecord> backup(int version)
{
    QList<TChannelRecord> records;
    for (int c = 1; c <= 40; ++c) {
        TChannelRecord r;
        r.channel = uint8_t(c);
        r.rom = {uint16_t(0x2800 + version), uint16_t(c), 0x1234, uint16_t(0x5600 + c)};
        r.values = {uint16_t(2000 + 100 * version + c), 0, 0, 0, 0};
        records.append(r);
    }
    return records;
}

inline QList<TDescriptionRecord> descriptions(int version)
{
    QList<TDescriptionRecord> records;
    for (int c = 1; c <= 40; ++c)
        records.append({uint8_t(c), QString::number(c), QStringLiteral("28000000000000%1").arg(c, 2, 10, QLatin1Char('0')),
                        QStringLiteral("version %1 channel %2 %3").arg(version).arg(c).arg(QString(200, QChar(u'a' + version)))});
    return records;
}

inline QStringList csvRow(long row)
{
    return {QString::number(row), QStringLiteral("8.12.2026 06:45:%1").arg(row % 60),
            QStringLiteral("21.5"), QStringLiteral("with \"quotes\", comma"), QStringLiteral("line\nbreak"),
            QString(100, QLatin1Char('x'))};
}

} // namespace KillVersions
