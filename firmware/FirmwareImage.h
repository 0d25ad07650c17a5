#pragma once

#include <QByteArray>
#include <QString>

// The gateway program to be written: a buffer of 200,002 bytes that is 0xFF wherever the file
// does not reach, the number of bytes the file had, and the file's bytes as hex text for the
// window. A file that would not fit is refused whole and the image loaded before stays.
class FirmwareImage
{
public:
    static constexpr int Capacity = 200002;

    enum class LoadResult { Ok, Missing, Empty, TooLarge, ReadError };

    FirmwareImage();

    LoadResult load(const QString &path);
    // The bytes of the loaded file; 0 when none is loaded.
    int ImageLength() const { return m_length; }
    const QByteArray &ImageBuffer() const { return m_buffer; }
    // The loaded bytes as two upper-case hex digits each followed by a blank, sixteen bytes a line.
    QString hexText() const;

private:
    QByteArray m_buffer;
    int m_length = 0;
};
