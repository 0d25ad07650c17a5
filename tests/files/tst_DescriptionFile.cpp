// The channel descriptions file: its layout line by line, and loading what such files (and
// damaged ones) hold.
#include "DescriptionFile.h"
#include "TextFileCodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QList<TDescriptionRecord> channels(int numbering)
{
    QList<TDescriptionRecord> list;
    for (int c = 1; c <= 40; ++c) {
        const int shown = numbering == 1 ? c : c - 1;
        list.append({uint8_t(shown), QString::number(shown), QStringLiteral("28000000000000%1").arg(c, 2, 16, QLatin1Char('0')).toUpper(),
                     c == 1 ? QStringLiteral("Kotelna") : QString()});
    }
    return list;
}

QString write(QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("d.txt"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

} // namespace

class tst_DescriptionFile : public QObject
{
    Q_OBJECT
private slots:
    void layoutLineByLine_data()
    {
        QTest::addColumn<int>("numbering");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("zero-based") << 0 << "0\t2800000000000001\tKotelna" << "39\t2800000000000028\t";
        QTest::newRow("one-based") << 1 << "1\t2800000000000001\tKotelna" << "40\t2800000000000028\t";
    }
    void layoutLineByLine()
    {
        QFETCH(int, numbering);
        QFETCH(QString, first);
        QFETCH(QString, last);
        const QDateTime at(QDate(2026, 3, 7), QTime(9, 5, 3));
        const QStringList lines = DescriptionFile::lines(channels(numbering), at, QLocale(QStringLiteral("en_GB")));
        QCOMPARE(lines.size(), 46);
        QCOMPARE(lines.mid(0, 6), (QStringList{"1-WIRE-TARVIK Tool V1.09 (OBRIX)", "Gateway channel configuration", "7.3.2026",
                                                "9:05:03", "", "ChannelNumber\tROMCode\tDescription"}));
        QCOMPARE(lines[6], first);
        QCOMPARE(lines[45], last);
        QCOMPARE(TextFileCodec::encode(lines.mid(0, 2)), QByteArray("1-WIRE-TARVIK Tool V1.09 (OBRIX)\r\nGateway channel configuration\r\n"));
    }

    void writtenFileLoadsBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("d.txt"));
        QVERIFY(DescriptionFile::write(path, channels(0), nullptr));
        QList<TDescriptionRecord> records;
        QCOMPARE(DescriptionFile::load(path, 0, records), DescriptionFile::LoadResult::Ok);
        QCOMPARE(records[0].description, QStringLiteral("Kotelna"));
        QCOMPARE(records[39].description, QString());
        QCOMPARE(records[39].number, uint8_t(39));
    }

    void loadEdgeCases_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("numbering");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("description");
        const QByteArray head = "1-WIRE-TARVIK Tool V1.09 (OBRIX)\r\n";
        QTest::newRow("zero-based file read one-based: channel 5 moves")
            << head + "5\t28\tsixth\r\n0\t28\tfirst\r\n" << 1 << 4 << "sixth";
        QTest::newRow("zero-based file read one-based: channel 0 is dropped")
            << head + "0\t28\tfirst\r\n" << 1 << 0 << "[not found]";
        QTest::newRow("identification only") << head << 0 << 17 << "[not found]";
        QTest::newRow("third tab skips the line") << head + "3\t28\ta\tb\r\n" << 0 << 3 << "[not found]";
        QTest::newRow("later line wins") << head + "3\t28\told\r\n3\t29\tnew\r\n" << 0 << 3 << "new";
        QTest::newRow("name after other text") << QByteArray("Saved by 1-WIRE-TARVIK Tool\n2\t28\tLF only\n") << 0 << 2 << "LF only";
        QTest::newRow("number out of range") << head + "40\t28\tx\r\n" << 0 << 39 << "[not found]";
        QTest::newRow("number not a number") << head + "x3\t28\tx\r\n" << 0 << 3 << "[not found]";
        QTest::newRow("Windows-1250") << head + "1\t28\tM\xECst\xF8" "ick\xE1 kotelna\r\n" << 0 << 1 << QString::fromUtf8("Městřická kotelna");
        QTest::newRow("UTF-8") << head + "1\t28\tM\xC4\x9Bsto\r\n" << 0 << 1 << QString::fromUtf8("Město");
    }
    void loadEdgeCases()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, numbering);
        QFETCH(int, index);
        QFETCH(QString, description);
        QTemporaryDir dir;
        QList<TDescriptionRecord> records;
        QCOMPARE(DescriptionFile::load(write(dir, file), numbering, records), DescriptionFile::LoadResult::Ok);
        QCOMPARE(records.size(), 40);
        QCOMPARE(records[index].description, description);
    }

    void filesThatAreNotOursAreRefused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("other program") << QByteArray("Something else\r\n0\t28\tx\r\n");
        QTest::newRow("binary") << QByteArray("\x00\x01\x02\xFF\xFE", 5);
    }
    void filesThatAreNotOursAreRefused()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        QList<TDescriptionRecord> records;
        QCOMPARE(DescriptionFile::load(write(dir, file), 0, records), DescriptionFile::LoadResult::NotOurs);
        QVERIFY(records.isEmpty());
        QCOMPARE(DescriptionFile::load(dir.filePath(QStringLiteral("none.txt")), 0, records), DescriptionFile::LoadResult::Missing);
    }
};

QTEST_APPLESS_MAIN(tst_DescriptionFile)
#include "tst_DescriptionFile.moc"
