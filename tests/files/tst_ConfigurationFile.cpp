// The configuration backup: its bytes, and which files are taken as backups.
#include "ConfigurationFile.h"
#include "FrameBytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

namespace {

QList<TChannelRecord> demo()
{
    QList<TChannelRecord> records;
    for (int c = 1; c <= 40; ++c) {
        TChannelRecord r;
        r.channel = uint8_t(c);
        r.rom = {0x28FF, 0x15E2, 0x6016, uint16_t(c)};
        r.values = {215, 2, 3, 4, 5};
        r.status = c == 40 ? 255 : 0;
        records.append(r);
    }
    return records;
}

} // namespace

class tst_ConfigurationFile : public QObject
{
    Q_OBJECT
private slots:
    void bytesAreLittleEndianAfterTheSignedHeader()
    {
        const QByteArray bytes = ConfigurationFile::encode(demo());
        QCOMPARE(bytes.size(), 902);
        QCOMPARE(bytes.left(22), hexBytes("00 00 00 00 00 00 00 00 00 00 52 B2 03 31 F8 F3 00 00 00 00 00 00"));
        QCOMPARE(bytes.mid(22, 22), hexBytes("01 00 FF 28 E2 15 16 60 01 00 D7 00 02 00 03 00 04 00 05 00 00 00"));
        QCOMPARE(uint8_t(bytes[22 * 40 + 20]), uint8_t(255));
        QCOMPARE(ConfigurationFile::decode(bytes), std::optional(demo()));
    }

    void whichFilesAreBackups_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        const QByteArray good = ConfigurationFile::encode(demo());
        QByteArray reserved = good;
        for (int i : {0, 5, 9, 16, 21})
            reserved[i] = char(0xA5);
        QByteArray signature = good;
        signature[14] = 0;
        QTest::newRow("902 bytes") << good << true;
        QTest::newRow("reserved bytes set") << reserved << true;
        QTest::newRow("ten bytes more") << good + QByteArray(10, 'x') << true;
        QTest::newRow("39 records") << good.left(22 * 40) << false;
        QTest::newRow("41 records") << good + good.mid(22, 22) << false;
        QTest::newRow("wrong signature") << signature << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("header cut") << good.left(12) << false;
    }
    void whichFilesAreBackups()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        QCOMPARE(ConfigurationFile::decode(bytes).has_value(), valid);
    }

    void failedWriteLeavesTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("backup.bin"));
        QVERIFY(ConfigurationFile::write(path, demo(), nullptr));
        QList<TChannelRecord> other = demo();
        other[0].rom = {1, 2, 3, 4};
        QString error;
        {
            // A disk that fills up after 100 bytes (a read-only folder does not stop root).
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit old{};
            ::getrlimit(RLIMIT_FSIZE, &old);
            rlimit small = old;
            small.rlim_cur = 100;
            ::setrlimit(RLIMIT_FSIZE, &small);
            const bool written = ConfigurationFile::write(path, other, &error);
            ::setrlimit(RLIMIT_FSIZE, &old);
            QVERIFY(!written);
        }
        QVERIFY(!error.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("backup.bin")});
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), ConfigurationFile::encode(demo()));
    }
};

QTEST_APPLESS_MAIN(tst_ConfigurationFile)
#include "tst_ConfigurationFile.moc"
