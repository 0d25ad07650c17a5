#include "FirmwareFileCheck.h"

#include "ConfigurationFile.h"
#include "DescriptionFile.h"
#include "FirmwareImage.h"
#include "FirmwareUpdate.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace {

// Text has no control characters but tab, line feed, form feed and carriage return; every
// program image holds some (a zero byte at the least), even a short one.
bool isText(const QByteArray &bytes)
{
    for (const char c : bytes) {
        const auto b = uint8_t(c);
        if ((b < 0x20 && b != '\t' && b != '\n' && b != '\f' && b != '\r') || b == 0x7F)
            return false;
    }
    return true;
}

QByteArray lineAt(const QByteArray &bytes, int index)
{
    const QList<QByteArray> lines = bytes.left(4096).split('\n');
    return index < lines.size() ? lines[index] : QByteArray();
}

} // namespace

QString FirmwareFileCheck::foreignKind(const QByteArray &bytes)
{
    if (ConfigurationFile::hasSignature(bytes))
        return QStringLiteral("a configuration backup of the gateway's channels");
    if (bytes.isEmpty() || !isText(bytes))
        return {};
    // The descriptions file and the data log begin with the program's name, as the
    // descriptions file's loader recognises it; the log says what it is on its second line.
    if (lineAt(bytes, 0).contains(DescriptionFile::programName().toLatin1()))
        return lineAt(bytes, 1).contains("Gateway log file") ? QStringLiteral("a data log of this tool")
                                                               : QStringLiteral("a channel descriptions file");
    if (bytes.startsWith(':'))
        return QStringLiteral("a text file in Intel HEX format (the gateway takes the binary image)");
    return QStringLiteral("a text file");
}

QString FirmwareFileCheck::refusal(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    const QString kind = foreignKind(file.read(FirmwareImage::Capacity + 1));
    return kind.isEmpty() ? QString() : QStringLiteral("%1 is %2, not a firmware image.").arg(path, kind);
}

QString FirmwareFileCheck::durationText(qint64 ms)
{
    const qint64 seconds = (ms + 500) / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    return seconds % 60 == 0 ? QStringLiteral("%1 min").arg(seconds / 60)
                             : QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

QString FirmwareFileCheck::question(const QString &path, int imageLength, int frameMs)
{
    // Grouped as the question's readers write large numbers, whatever the system's locale.
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const int frames = FirmwareUpdate::FrameCount(imageLength);
    const QString size = imageLength == 1 ? QStringLiteral("1 byte") : english.toString(imageLength) + QStringLiteral(" bytes");
    return QStringLiteral("Program the device memory with %1 (%2, %3 frames, about %4)?")
        .arg(QFileInfo(path).fileName(), size, english.toString(frames), durationText(qint64(frames) * frameMs));
}
