#include "ConfigurationFile.h"

#include <QFile>
#include <QFileInfo>
#include "AtomicFile.h"
#include <QtEndian>

namespace {

void putWord(QByteArray &out, int at, uint16_t word)
{
    qToLittleEndian(word, out.data() + at);
}

uint16_t wordAt(const QByteArray &in, int at)
{
    return qFromLittleEndian<uint16_t>(in.constData() + at);
}

} // namespace

QByteArray ConfigurationFile::encode(const QList<TChannelRecord> &records)
{
    QByteArray out(RecordSize * (1 + int(records.size())), '\0');
    for (int i = 0; i < 3; ++i)
        putWord(out, 10 + 2 * i, Signature[i]);
    for (int k = 0; k < records.size(); ++k) {
        const TChannelRecord &r = records[k];
        const int base = RecordSize * (k + 1);
        out[base] = char(r.channel);
        for (int w = 0; w < 4; ++w)
            putWord(out, base + 2 + 2 * w, r.rom[size_t(w)]);
        for (int v = 0; v < 5; ++v)
            putWord(out, base + 10 + 2 * v, r.values[size_t(v)]);
        out[base + 20] = char(r.status);
    }
    return out;
}

bool ConfigurationFile::hasSignature(const QByteArray &bytes)
{
    if (bytes.size() < RecordSize)
        return false;
    for (int i = 0; i < 3; ++i)
        if (wordAt(bytes, 10 + 2 * i) != Signature[i])
            return false;
    return true;
}

std::optional<QList<TChannelRecord>> ConfigurationFile::decode(const QByteArray &bytes)
{
    if (!hasSignature(bytes))
        return std::nullopt;
    // Exactly 40 whole records after the header; a shorter tail is not a record.
    if (bytes.size() / RecordSize - 1 != RecordCount)
        return std::nullopt;
    QList<TChannelRecord> records;
    for (int k = 0; k < RecordCount; ++k) {
        const int base = RecordSize * (k + 1);
        TChannelRecord r;
        r.channel = uint8_t(bytes[base]);
        for (int w = 0; w < 4; ++w)
            r.rom[size_t(w)] = wordAt(bytes, base + 2 + 2 * w);
        for (int v = 0; v < 5; ++v)
            r.values[size_t(v)] = wordAt(bytes, base + 10 + 2 * v);
        r.status = uint8_t(bytes[base + 20]);
        records.append(r);
    }
    return records;
}

bool ConfigurationFile::write(const QString &path, const QList<TChannelRecord> &records, QString *error)
{
    return AtomicFile::write(path, encode(records), error);
}

ConfigurationFile::ReadResult ConfigurationFile::read(const QString &path, QList<TChannelRecord> &records)
{
    if (!QFileInfo(path).isFile())
        return ReadResult::Missing;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadResult::Invalid;
    // A valid backup is under two records longer than 902 bytes; read no more than that.
    const QByteArray bytes = file.read(FileSize + RecordSize);
    if (file.error() != QFileDevice::NoError)
        return ReadResult::Invalid;
    const auto decoded = decode(bytes);
    if (!decoded)
        return ReadResult::Invalid;
    records = *decoded;
    return ReadResult::Ok;
}
