// The names the tool writes to: an extension only for a new plain name, never for something
// that already is there (a file, a device, a pipe).
#include "FileChoice.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class tst_FileChoice : public QObject
{
    Q_OBJECT
private slots:
    void extensionOnlyForANewPlainName_data()
    {
        QTest::addColumn<QString>("name"); // in a temporary folder unless absolute
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("deviceOrPipe");
        QTest::newRow("new name") << "room" << "room.csv" << false;
        QTest::newRow("new name with an extension") << "room.log" << "room.log" << false;
        QTest::newRow("existing file without one") << "plain" << "plain" << false;
        QTest::newRow("pipe") << "fifo" << "fifo" << true;
        QTest::newRow("device") << "/dev/full" << "/dev/full" << true;
        QTest::newRow("the process's stdout") << "/dev/stdout" << "/dev/stdout" << true;
    }
    void extensionOnlyForANewPlainName()
    {
        QFETCH(QString, name);
        QFETCH(QString, path);
        QFETCH(bool, deviceOrPipe);
        QTemporaryDir dir;
        QFile(dir.filePath(QStringLiteral("plain"))).open(QIODevice::WriteOnly);
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
        const auto at = [&](const QString &n) { return n.startsWith(QLatin1Char('/')) ? n : dir.filePath(n); };
        QCOMPARE(FileChoice::withExtension(at(name), QStringLiteral("csv")), at(path));
        QCOMPARE(FileChoice::isDeviceOrPipe(at(name)), deviceOrPipe);
    }
};

QTEST_GUILESS_MAIN(tst_FileChoice)
#include "tst_FileChoice.moc"
