#pragma once

#include "TChannelRecord.h"

#include <QByteArray>
#include <QList>
#include <optional>

// The gateway configuration backup: a 22-byte header with three signature words, then exactly
// 40 channel records of 22 bytes (position, ROM code, five values, status), little-endian
// whatever the host. A tail shorter than one record after the 40th is ignored.
class ConfigurationFile
{
public:
    static constexpr int RecordSize = 22;
    static constexpr int RecordCount = 40;
    static constexpr int FileSize = RecordSize * (RecordCount + 1); // 902
    static constexpr uint16_t Signature[3] = {0xB252, 0x3103, 0xF3F8};

    static QByteArray encode(const QList<TChannelRecord> &records);
    // Whether the bytes begin with a header whose three signature words are a backup's.
    static bool hasSignature(const QByteArray &bytes);
    // The 40 records of a backup; nullopt for a wrong signature or record count.
    static std::optional<QList<TChannelRecord>> decode(const QByteArray &bytes);

    // Writes the file whole or not at all; false with the reason when it cannot.
    static bool write(const QString &path, const QList<TChannelRecord> &records, QString *error);
    enum class ReadResult { Ok, Missing, Invalid };
    static ReadResult read(const QString &path, QList<TChannelRecord> &records);
};
