#include "TCSVFileRecorder.h"

#include "TextFileCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <cerrno>
#include <cstdio>

std::unique_ptr<TCSVFileRecorder> TCSVFileRecorder::open(const QString &fileName, bool append, QString *error,
                                                         const QLocale &locale, const QString &fallbackFolder)
{
    std::unique_ptr<TCSVFileRecorder> r(new TCSVFileRecorder);
    r->m_delimiter = delimiterFor(locale);
    if (r->openFile(fileName, append))
        return r;
    const QString folder = fallbackFolder.isEmpty() ? QCoreApplication::applicationDirPath() : fallbackFolder;
    const QString fallback = QDir(folder).filePath(fallbackName());
    if (r->openFile(fallback, append)) {
        r->m_usedFallback = true;
        return r;
    }
    if (error)
        *error = QStringLiteral("Cannot write the log to %1 nor to %2: %3")
                     .arg(QDir::toNativeSeparators(fileName), QDir::toNativeSeparators(fallback), r->m_file.errorString());
    return nullptr;
}

std::unique_ptr<TCSVFileRecorder> TCSVFileRecorder::create(const QString &fileName, QString *error, const QLocale &locale)
{
    std::unique_ptr<TCSVFileRecorder> r(new TCSVFileRecorder);
    r->m_delimiter = delimiterFor(locale);
    if (r->openFile(fileName, false))
        return r;
    if (error)
        *error = QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(fileName), r->m_file.errorString());
    return nullptr;
}

std::unique_ptr<TCSVFileRecorder> TCSVFileRecorder::toStdout(QString *error, const QLocale &locale)
{
    std::unique_ptr<TCSVFileRecorder> r(new TCSVFileRecorder);
    r->m_delimiter = delimiterFor(locale);
    r->m_file.setFileName(stdoutName());
    if (r->m_file.open(fileno(stdout), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return r;
    if (error)
        *error = QStringLiteral("Cannot write to standard output: %1").arg(r->m_file.errorString());
    return nullptr;
}

TCSVFileRecorder::~TCSVFileRecorder() = default;

QString TCSVFileRecorder::errorString() const
{
    return m_error.isEmpty() ? m_file.errorString() : m_error;
}

bool TCSVFileRecorder::failed(int error)
{
    // A write that falls short (the disk filled up within it) leaves the file without an error
    // text, "Unknown error"; the error number the system gave is the reason then.
    const QString own = m_file.errorString();
    m_error = error != 0 && (m_file.error() == QFileDevice::NoError || own.isEmpty() || own == QLatin1String("Unknown error"))
                  ? qt_error_string(error)
                  : own;
    return false;
}

namespace {

// What ends the last row of an existing log when it was cut (the program or the machine stopped
// while writing it): a closing quote when it stops inside a quoted cell, then a line end. Rows
// appended after a cut row would otherwise continue it, and inside an open quote every row
// after it would be read as part of one cell. Complete rows hold an even number of quotes, so
// the count over the whole file tells. Empty when the file ends with a whole row.
QByteArray endOfCutRow(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    qint64 quotes = 0;
    char last = '\n';
    for (QByteArray chunk; !(chunk = file.read(1 << 16)).isEmpty();) {
        quotes += chunk.count('"');
        last = chunk.back();
    }
    if (quotes % 2)
        return QByteArrayLiteral("\"\r\n");
    return last == '\n' ? QByteArray() : QByteArrayLiteral("\r\n");
}

} // namespace

bool TCSVFileRecorder::openFile(const QString &path, bool append)
{
    m_file.close();
    m_file.setFileName(path);
    if (!append || !QFile::exists(path))
        return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    const QByteArray end = endOfCutRow(path);
    if (!m_file.open(QIODevice::Append))
        return false;
    return end.isEmpty() || (m_file.write(end) == end.size() && m_file.flush());
}

QChar TCSVFileRecorder::delimiterFor(const QLocale &locale)
{
    return locale.decimalPoint() == QStringLiteral(".") ? QLatin1Char(',') : QLatin1Char(';');
}

QString TCSVFileRecorder::quoted(const QString &cell, QChar delimiter)
{
    bool quote = false;
    for (QChar c : cell)
        if (c.unicode() <= 32 || c == QLatin1Char('"') || c == delimiter) {
            quote = true;
            break;
        }
    if (!quote)
        return cell;
    QString inner = cell;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

bool TCSVFileRecorder::WriteRow(const QStringList &cells)
{
    QStringList shown;
    shown.reserve(cells.size());
    for (const QString &cell : cells)
        shown.append(quoted(cell, m_delimiter));
    const QByteArray bytes = TextFileCodec::encode({shown.join(m_delimiter)});
    // Flushed at once, so the log is complete up to its last row whatever happens next.
    errno = 0;
    if (m_file.write(bytes) == bytes.size() && m_file.flush())
        return true;
    return failed(errno);
}

bool TCSVFileRecorder::WriteRowPadded(const QStringList &cells, int n)
{
    QStringList padded = cells.mid(0, n);
    while (padded.size() < n)
        padded.append(QString());
    return WriteRow(padded);
}
