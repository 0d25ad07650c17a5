// The data log's cells and bytes: header and data rows in point and comma locales, quoting,
// which channels get a temperature, and a log that Python's csv module reads back cell for cell.
#include "RecorderRows.h"
#include "TCSVFileRecorder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

TChannelRecord record(int channel, uint16_t family, uint16_t value1)
{
    TChannelRecord r;
    r.channel = uint8_t(channel);
    r.rom = {uint16_t(family << 8 | 0xFF), 0x15E2, 0x6016, uint16_t(channel)};
    r.values = {value1, 7, 7, 7, 7};
    return r;
}

QList<TChannelRecord> records()
{
    QList<TChannelRecord> list;
    for (int c = 1; c <= 40; ++c)
        list.append(record(c, 0x28, 215));
    list[1] = record(2, 0x28, 0xFFEC);
    list[2] = record(3, 0x10, 12345);
    list[3] = record(4, 0x01, 1);   // iButton: no temperature
    list[4] = record(5, 0x3A, 250); // unknown family
    list[5] = record(6, 0x19, 234);
    list[6] = record(7, 0x26, 0);
    return list;
}

QList<TDescriptionRecord> channels()
{
    QList<TDescriptionRecord> list;
    for (int c = 1; c <= 40; ++c)
        list.append({uint8_t(c - 1), QString::number(c - 1), QStringLiteral("28FF15E26016%1").arg(c, 4, 16, QLatin1Char('0')).toUpper(), QString()});
    list[0].description = QStringLiteral("Boiler; room 1");
    list[1].description = QStringLiteral("say \"hi\"");
    list[2].description = QStringLiteral("a,b");
    return list;
}

} // namespace

class tst_CsvLog : public QObject
{
    Q_OBJECT
private slots:
    // A temperature cell: only a thermometer's reading with status OK, and the ASCII minus and
    // the locale's decimal separator whatever sign the locale itself uses (U+2212 in Swedish).
    void temperatureCell_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("value1");
        QTest::addColumn<int>("status");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("cell");
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale swedish(QLocale::Swedish, QLocale::Sweden);
        QTest::newRow("reading") << 0x28 << 215 << 0 << us << "21.5 °C";
        QTest::newRow("below zero, Swedish") << 0x28 << 0xFF37 << 0 << swedish << "-20,1 °C";
        QTest::newRow("just below zero, Swedish") << 0x10 << 0xFFFF << 0 << swedish << "-0,1 °C";
        QTest::newRow("below zero, German") << 0x19 << 0xFFEC << 0 << QLocale(QLocale::German, QLocale::Germany) << "-2,0 °C";
        QTest::newRow("CRC error") << 0x28 << 0xFFFF << 4 << us << "";
        QTest::newRow("timeout") << 0x26 << 215 << 5 << us << "";
        QTest::newRow("short circuit") << 0x28 << 215 << 2 << us << "";
        QTest::newRow("not read") << 0x28 << 215 << 254 << us << "";
        QTest::newRow("no thermometer") << 0x01 << 1 << 0 << us << "";
    }
    void temperatureCell()
    {
        QFETCH(int, family);
        QFETCH(int, value1);
        QFETCH(int, status);
        QFETCH(QLocale, locale);
        QFETCH(QString, cell);
        TChannelRecord r = record(1, uint16_t(family), uint16_t(value1));
        r.status = uint8_t(status);
        QCOMPARE(RecorderRows::temperature(r, locale), cell);
    }

#ifdef Q_OS_LINUX
    // A row the disk takes only in part (here the file size limit stands in for a full disk)
    // says why it failed, not "Unknown error".
    void aRowCutShortSaysWhy()
    {
        QTemporaryDir dir;
        QString error;
        auto log = TCSVFileRecorder::create(dir.filePath(QStringLiteral("log.csv")), &error, QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(log, qPrintable(error));
        QVERIFY(log->WriteRow({QStringLiteral("a")}));
        rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit limited = old;
        limited.rlim_cur = 10;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limited);
        const bool written = log->WriteRow({QString(100, QLatin1Char('x'))});
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!written);
        QCOMPARE(log->errorString(), qt_error_string(EFBIG));
    }
#endif

    void rowsInAPointLocale()
    {
        const QList<QStringList> header = RecorderRows::header(channels());
        QCOMPARE(header.size(), 7);
        QCOMPARE(header[0], (QStringList{"Application:", "1-WIRE-TARVIK Tool V1.09 (OBRIX)"}));
        QCOMPARE(header[3].size(), 41);
        QCOMPARE(header[3][1], QStringLiteral("Ch0"));
        QCOMPARE(header[3][40], QStringLiteral("Ch39"));
        QCOMPARE(header[6][40], QStringLiteral("value1 [°C]"));
        const QStringList row = RecorderRows::dataRow(QDateTime(QDate(2026, 12, 8), QTime(7, 4, 9)), records(), {}, QLocale(QStringLiteral("en_US")));
        QCOMPARE(row.size(), 41);
        QCOMPARE(row[0], QStringLiteral("8.12.2026 7:04:09"));
        QCOMPARE(row[1], QStringLiteral("21.5 °C"));
        QCOMPARE(row[2], QStringLiteral("-2.0 °C"));
        QCOMPARE(row[3], QStringLiteral("1234.5 °C"));
        QCOMPARE(row[4], QString());
        QCOMPARE(row[5], QString());
        QCOMPARE(row[6], QStringLiteral("23.4 °C"));
        QCOMPARE(row[7], QStringLiteral("0.0 °C"));
    }

    // The plain form is the same in every locale: the local time in ISO 8601 with its offset
    // (the same moment), bare numbers with a point, commas between cells.
    void plainRowsAreTheSameInEveryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("point") << "en_US";
        QTest::newRow("comma") << "cs_CZ";
    }
    void plainRowsAreTheSameInEveryLocale()
    {
        QFETCH(QString, locale);
        const QDateTime at(QDate(2026, 12, 8), QTime(7, 4, 9));
        const QStringList row = RecorderRows::dataRow(at, records(), {}, QLocale(locale), RecorderRows::Form::Plain);
        QVERIFY2(QRegularExpression(QStringLiteral("^2026-12-08T07:04:09[+-]\\d\\d:\\d\\d$")).match(row[0]).hasMatch(), qPrintable(row[0]));
        QCOMPARE(QDateTime::fromString(row[0], Qt::ISODate).toMSecsSinceEpoch(), at.toMSecsSinceEpoch());
        QCOMPARE(row.mid(1, 7), (QStringList{"21.5", "-2.0", "1234.5", "", "", "23.4", "0.0"}));
        QCOMPARE(TCSVFileRecorder::delimiterFor(RecorderRows::localeOf(RecorderRows::Form::Plain)), QLatin1Char(','));
    }

    void quotingByLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("line");
        QTest::newRow("point: comma") << "en_US" << "\"8.12.2026 7:04:09\",\"21.5 °C\",x;y,\"a,b\",\"say \"\"hi\"\"\",";
        QTest::newRow("comma: semicolon") << "cs_CZ" << "\"8.12.2026 7:04:09\";\"21,5 °C\";\"x;y\";a,b;\"say \"\"hi\"\"\";";
    }
    void quotingByLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, line);
        QTemporaryDir dir;
        QString error;
        auto log = TCSVFileRecorder::open(dir.filePath(QStringLiteral("log.csv")), false, &error, QLocale(locale));
        QVERIFY2(log, qPrintable(error));
        const QStringList row = RecorderRows::dataRow(QDateTime(QDate(2026, 12, 8), QTime(7, 4, 9)), records().mid(0, 1), {}, QLocale(locale));
        QVERIFY(log->WriteRow(row + QStringList{"x;y", "a,b", "say \"hi\"", ""}));
        QFile f(log->fileName());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()), line + QStringLiteral("\r\n"));
    }

    void padding()
    {
        QTemporaryDir dir;
        auto log = TCSVFileRecorder::open(dir.filePath(QStringLiteral("log.csv")), false, nullptr, QLocale(QStringLiteral("en_US")));
        QVERIFY(log->WriteRowPadded({}, 41));
        QVERIFY(log->WriteRowPadded({"a", "b", "c"}, 2));
        QFile f(log->fileName());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(40, ',') + "\r\na,b\r\n");
    }

    void appendingEndsARowCutByAStop_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("whole") << QByteArray("1,a\r\n") << QByteArray("1,a\r\n2,\"x y\"\r\n");
        QTest::newRow("cut in a plain cell") << QByteArray("1,a\r\n2,b") << QByteArray("1,a\r\n2,b\r\n2,\"x y\"\r\n");
        QTest::newRow("cut in a quoted cell") << QByteArray("1,\"a \"\"q\"\"\r\nb") << QByteArray("1,\"a \"\"q\"\"\r\nb\"\r\n2,\"x y\"\r\n");
        QTest::newRow("cut after the quote") << QByteArray("1,\"a\"") << QByteArray("1,\"a\"\r\n2,\"x y\"\r\n");
        QTest::newRow("empty") << QByteArray() << QByteArray("2,\"x y\"\r\n");
    }
    void appendingEndsARowCutByAStop()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.csv"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
        f.close();
        auto log = TCSVFileRecorder::open(path, true, nullptr, QLocale(QStringLiteral("en_US")));
        QVERIFY(log && !log->usedFallback());
        QVERIFY(log->WriteRow({QStringLiteral("2"), QStringLiteral("x y")}));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), after);
    }

    void unwritableFileGoesToTheFallback()
    {
        QTemporaryDir dir;
        QString error;
        auto log = TCSVFileRecorder::open(dir.filePath(QStringLiteral("no/such/folder/log.csv")), false, &error, QLocale(), dir.path());
        QVERIFY(log);
        QVERIFY(log->usedFallback());
        QCOMPARE(log->fileName(), dir.filePath(QStringLiteral("LogFile.csv")));
        QVERIFY(!TCSVFileRecorder::open(dir.filePath(QStringLiteral("no/a.csv")), false, &error, QLocale(), dir.filePath(QStringLiteral("no"))));
        QVERIFY(error.contains(QLatin1String("LogFile.csv")));
    }

    void pythonReadsTheSameCells()
    {
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            QSKIP("python3 is not installed");
        for (const char *name : {"en_US", "cs_CZ"}) {
            const QLocale locale{QLatin1String(name)};
            QTemporaryDir dir;
            auto log = TCSVFileRecorder::open(dir.filePath(QStringLiteral("log.csv")), false, nullptr, locale);
            QList<QStringList> rows = RecorderRows::header(channels());
            for (int i = 0; i < 3; ++i)
                while (rows[i].size() < 41)
                    rows[i].append(QString());
            rows.append(RecorderRows::dataRow(QDateTime(QDate(2026, 1, 2), QTime(13, 0, 0)), records(), {}, locale));
            for (const QStringList &row : rows)
                QVERIFY(log->WriteRow(row));
            QProcess py;
            py.start(python, {QStringLiteral("-c"),
                              QStringLiteral("import csv,json,sys; f=open(sys.argv[1],newline='',encoding='utf-8');"
                                             "print(json.dumps(list(csv.reader(f,delimiter=sys.argv[2]))))"),
                              log->fileName(), QString(log->delimiter())});
            QVERIFY(py.waitForFinished(10000));
            const QJsonArray read = QJsonDocument::fromJson(py.readAllStandardOutput()).array();
            QCOMPARE(read.size(), rows.size());
            for (int r = 0; r < rows.size(); ++r)
                QCOMPARE(read[r].toVariant().toStringList(), rows[r]);
        }
    }
};

QTEST_APPLESS_MAIN(tst_CsvLog)
#include "tst_CsvLog.moc"
