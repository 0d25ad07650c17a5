#include "DescriptionsSource.h"

#include "CliFailure.h"
#include "DescriptionsArgument.h"
#include "OutgoingText.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

// The offset of the first byte that is not part of valid UTF-8, or -1.
qsizetype firstInvalidUtf8(const QByteArray &bytes)
{
    QStringDecoder whole(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = whole.decode(bytes); // decoded when made a QString
    if (!whole.hasError())
        return -1;
    // Character by character to find where.
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto b = uint8_t(bytes[i]);
        const int length = b < 0x80 ? 1
            : (b & 0xE0) == 0xC0    ? 2
            : (b & 0xF0) == 0xE0    ? 3
            : (b & 0xF8) == 0xF0    ? 4
                                    : 0;
        if (length == 0 || i + length > bytes.size())
            return i;
        QStringDecoder one(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString character = one.decode(bytes.mid(i, length));
        if (one.hasError())
            return i;
        i += length;
    }
    return i;
}

} // namespace

DescriptionsSource::Loaded DescriptionsSource::load(const QString &path, int numbering)
{
    if (QFileInfo(path).isDir())
        throw CliFailure::usage(
            QStringLiteral("%1 is a directory, not a channel descriptions file").arg(path));
    Loaded loaded;
    loaded.records = DescriptionsArgument::load(path, numbering);
    for (TDescriptionRecord &r : loaded.records)
        r.description = OutgoingText::clean(r.description);

    // The same bytes again, to say how they were taken (the window decides the same way).
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const qsizetype invalid = firstInvalidUtf8(file.readAll());
        if (invalid >= 0)
            loaded.encodingNote
                = QStringLiteral("%1 is not valid UTF-8 (byte %2): read as Windows-1250")
                      .arg(path)
                      .arg(invalid);
    }
    return loaded;
}
