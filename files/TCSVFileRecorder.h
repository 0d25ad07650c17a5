#pragma once

#include <QChar>
#include <QFile>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <memory>

// Writes the data log: rows of cells joined by the delimiter ("," where the decimal separator
// is a point, ";" where it is a comma), each row flushed to disk at once. A cell holding a
// blank or another control character, a double quote or the delimiter stands in double quotes
// with its quotes doubled. When the chosen file cannot be opened the log goes to "LogFile.csv"
// beside the program instead, and the recorder says so.
class TCSVFileRecorder
{
public:
    // Opens fileName (appended to when append is set and it exists, else emptied), or the
    // fallback in fallbackFolder; nullptr with the reason when neither opens.
    static std::unique_ptr<TCSVFileRecorder> open(const QString &fileName, bool append, QString *error,
                                                  const QLocale &locale = QLocale(),
                                                  const QString &fallbackFolder = QString());
    // Opens exactly fileName (emptied), without the fallback; nullptr with the reason.
    static std::unique_ptr<TCSVFileRecorder> create(const QString &fileName, QString *error,
                                                    const QLocale &locale = QLocale());
    // Writes to the process's standard output, named stdoutName(); nullptr with the reason.
    static std::unique_ptr<TCSVFileRecorder> toStdout(QString *error, const QLocale &locale = QLocale());
    static QString stdoutName() { return QStringLiteral("standard output"); }
    ~TCSVFileRecorder();

    QString fileName() const { return m_file.fileName(); }
    bool usedFallback() const { return m_usedFallback; }
    QChar delimiter() const { return m_delimiter; }
    // Why the last open or write failed, in the system's words ("No space left on device").
    QString errorString() const;

    // One row, flushed; false when it could not be written whole.
    bool WriteRow(const QStringList &cells);
    // Exactly n cells: the given ones, then empty ones; surplus cells are dropped.
    bool WriteRowPadded(const QStringList &cells, int n);

    static QString quoted(const QString &cell, QChar delimiter);
    static QChar delimiterFor(const QLocale &locale);
    static QString fallbackName() { return QStringLiteral("LogFile.csv"); }

private:
    TCSVFileRecorder() = default;
    bool openFile(const QString &path, bool append);

    // Keeps the reason of a failed write, which the file itself does not always give.
    bool failed(int error);

    QFile m_file;
    QString m_error;
    QChar m_delimiter = QLatin1Char(',');
    bool m_usedFallback = false;
};
