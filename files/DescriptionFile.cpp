#include "DescriptionFile.h"

#include "LocaleText.h"
#include "TextFileCodec.h"

#include <QFile>
#include <QFileInfo>
#include "AtomicFile.h"

namespace {
// Files this tool reads are small; anything larger is not a descriptions file.
constexpr qint64 kMaxFileSize = 1024 * 1024;
} // namespace

QStringList DescriptionFile::lines(const QList<TDescriptionRecord> &channels, const QDateTime &now,
                                   const QLocale &locale)
{
    QStringList out{identification(), QStringLiteral("Gateway channel configuration"),
                    LocaleText::date(now.date()), LocaleText::time(now.time(), locale),
                    QString(), QStringLiteral("ChannelNumber\tROMCode\tDescription")};
    for (const TDescriptionRecord &r : channels)
        out.append(r.numberText + QLatin1Char('\t') + r.romHex + QLatin1Char('\t') + r.description);
    return out;
}

bool DescriptionFile::write(const QString &path, const QList<TDescriptionRecord> &channels, QString *error)
{
    return AtomicFile::write(path, TextFileCodec::encode(lines(channels, QDateTime::currentDateTime())), error);
}

std::optional<QList<TDescriptionRecord>> DescriptionFile::parse(const QStringList &lines, int numbering)
{
    if (lines.isEmpty() || !lines.first().contains(programName()))
        return std::nullopt;
    const int base = numbering == 1 ? 1 : 0;
    QList<TDescriptionRecord> records;
    for (int i = 0; i < RecordCount; ++i)
        records.append({uint8_t(i + base), QString(), QString(), notFound()});

    for (const QString &line : lines) {
        const int first = line.indexOf(QLatin1Char('\t'));
        if (first < 0)
            continue;
        bool ok = false;
        const int number = line.left(first).toInt(&ok);
        if (!ok)
            continue;
        const int second = line.indexOf(QLatin1Char('\t'), first + 1);
        if (second < 0)
            continue;
        const QString rest = line.mid(second + 1);
        if (rest.contains(QLatin1Char('\t')))
            continue;
        const int index = number - base;
        if (index < 0 || index >= RecordCount)
            continue;
        // A later line for the same channel wins.
        TDescriptionRecord &r = records[index];
        r.numberText = line.left(first);
        r.romHex = line.mid(first + 1, second - first - 1);
        r.description = rest;
    }
    return records;
}

DescriptionFile::LoadResult DescriptionFile::load(const QString &path, int numbering, QList<TDescriptionRecord> &records)
{
    QFile file(path);
    if (!QFileInfo(path).isFile())
        return LoadResult::Missing;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return LoadResult::ReadError;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return LoadResult::ReadError;
    // An empty file has no identification line: not one of ours.
    const auto parsed = parse(TextFileCodec::splitLines(TextFileCodec::decode(bytes)), numbering);
    if (!parsed)
        return LoadResult::NotOurs;
    records = *parsed;
    return LoadResult::Ok;
}
