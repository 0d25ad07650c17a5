// A writer process killed (SIGKILL) at random moments while saving a backup, a descriptions
// file or the CSV log: the backup and the descriptions file are always one whole version, old
// or new; the log's rows before the last are whole and Python's csv module reads the file.
//
// TARVIK_SOAK_KILLS sets the kills per kind of file (default 10; scripts/soak 100).
#include "ConfigurationFile.h"
#include "DescriptionFile.h"
#include "KillVersions.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

namespace {

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// Starts the writer on path and kills it after a random time once it has begun.
bool killWriter(const QString &mode, const QString &path, QRandomGenerator &rng)
{
    QProcess writer;
    writer.start(QStringLiteral(SOAK_WRITER_EXE), {mode, path});
    if (!writer.waitForReadyRead(5000))
        return false;
    QTest::qWait(int(rng.bounded(1, 40)));
    writer.kill();
    return writer.waitForFinished(5000) && writer.exitStatus() == QProcess::CrashExit;
}

} // namespace

class tst_KillDuringWrite : public QObject
{
    Q_OBJECT
private slots:
    void savedFilesAreOldOrNewNeverMixed_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("backup") << QStringLiteral("backup");
        QTest::newRow("descriptions") << QStringLiteral("descriptions");
    }
    void savedFilesAreOldOrNewNeverMixed()
    {
        QFETCH(QString, mode);
        const int kills = envInt("TARVIK_SOAK_KILLS", 10);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("file"));
        QRandomGenerator rng(quint32(qHash(mode)));
        int versions[2] = {0, 0};
        // The file exists before the first kill: a writer killed before its first save
        // completes (a slow start under the sanitizers) leaves the old file, which must be there.
        QString error;
        QVERIFY2(mode == QLatin1String("backup") ? ConfigurationFile::write(path, KillVersions::backup(0), &error)
                                                 : DescriptionFile::write(path, KillVersions::descriptions(0), &error),
                 qPrintable(error));
        for (int i = 0; i < kills; ++i) {
            QVERIFY(killWriter(mode, path, rng));
            int version = -1;
            if (mode == QLatin1String("backup")) {
                QList<TChannelRecord> records;
                QCOMPARE(ConfigurationFile::read(path, records), ConfigurationFile::ReadResult::Ok);
                version = records == KillVersions::backup(0) ? 0 : records == KillVersions::backup(1) ? 1 : -1;
            } else {
                QList<TDescriptionRecord> records;
                QCOMPARE(DescriptionFile::load(path, 1, records), DescriptionFile::LoadResult::Ok);
                version = records == KillVersions::descriptions(0) ? 0 : records == KillVersions::descriptions(1) ? 1 : -1;
            }
            QVERIFY2(version >= 0, qPrintable(QStringLiteral("kill %1 left a mixed file").arg(i)));
            ++versions[version];
        }
        // A save killed before its rename leaves its scratch file beside the target.
        const int scratch = int(QDir(dir.path()).entryList(QDir::Files).size()) - 1;
        std::printf("kills during %s saves: %d, file whole each time (%d old, %d new), %d scratch "
                    "files left by killed saves\n",
                    qPrintable(mode), kills, versions[0], versions[1], scratch);
        std::fflush(stdout);
    }

    void killedLogKeepsWholeRowsAndReadsAsCsv()
    {
        const int kills = envInt("TARVIK_SOAK_KILLS", 10);
        QTemporaryDir dir;
        QRandomGenerator rng(7);
        int rowsRead = 0;
        for (int i = 0; i < kills; ++i) {
            // Appended to after each kill, ten times a file: rows cut by a kill then stand
            // inside the file, followed by new rows.
            const QString path = dir.filePath(QStringLiteral("log%1.csv").arg(i / 10));
            QVERIFY(killWriter(QStringLiteral("csv"), path, rng));
            QProcess python;
            python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import csv, sys
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    rows = list(csv.reader(f))
whole = rows[:-1]
bad = [r for r in whole if len(r) != 6 or r[3] != 'with "quotes", comma' or r[4] != 'line\nbreak']
print(len(rows), len(bad))
)"), path});
            QVERIFY(python.waitForFinished(10000));
            const QList<QByteArray> out = python.readAllStandardOutput().trimmed().split(' ');
            QVERIFY2(python.exitCode() == 0 && out.size() == 2,
                     qPrintable(QString::fromUtf8(python.readAllStandardError())));
            QVERIFY(out[0].toInt() > 0);
            // Only rows cut by the earlier kills on this file may be short.
            QVERIFY2(out[1].toInt() <= i % 10,
                     qPrintable(QStringLiteral("kill %1: %2 broken rows").arg(i).arg(QString::fromLatin1(out[1]))));
            if (i % 10 == 9 || i == kills - 1)
                rowsRead += out[0].toInt();
        }
        std::printf("kills during CSV logging: %d, %d rows read by Python's csv module\n", kills, rowsRead);
        std::fflush(stdout);
    }
};

QTEST_GUILESS_MAIN(tst_KillDuringWrite)
#include "tst_KillDuringWrite.moc"
