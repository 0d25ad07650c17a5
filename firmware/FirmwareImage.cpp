#include "FirmwareImage.h"

#include <QFile>
#include <QFileInfo>

FirmwareImage::FirmwareImage() : m_buffer(Capacity, char(0xFF)) {}

FirmwareImage::LoadResult FirmwareImage::load(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return LoadResult::Missing;
    if (info.size() == 0)
        return LoadResult::Empty;
    if (info.size() > Capacity)
        return LoadResult::TooLarge;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return LoadResult::ReadError;
    // Read one more byte than fits, so a file that grew since the size check is still refused.
    const QByteArray bytes = file.read(Capacity + 1);
    if (file.error() != QFileDevice::NoError)
        return LoadResult::ReadError;
    if (bytes.isEmpty())
        return LoadResult::Empty;
    if (bytes.size() > Capacity)
        return LoadResult::TooLarge;
    m_buffer.fill(char(0xFF));
    m_buffer.replace(0, bytes.size(), bytes);
    m_length = int(bytes.size());
    return LoadResult::Ok;
}

QString FirmwareImage::hexText() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    constexpr int perLine = 16;
    QString text(m_length * 3 + m_length / perLine, Qt::Uninitialized);
    QChar *out = text.data();
    for (int i = 0; i < m_length; ++i) {
        const auto b = uint8_t(m_buffer[i]);
        *out++ = QLatin1Char(digits[b >> 4]);
        *out++ = QLatin1Char(digits[b & 0x0F]);
        *out++ = QLatin1Char(' ');
        if ((i + 1) % perLine == 0)
            *out++ = QLatin1Char('\n');
    }
    text.truncate(int(out - text.data()));
    return text;
}
