// What tarvik-cli hands to other programs: output that cannot be written ends the command with
// the system's reason, "-" sends a log or a backup to stdout, and the JSON never gives a failed
// sensor's leftover values as a reading.
#include "CliProcess.h"
#include "ConfigurationFile.h"
#include "SimOnPty.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

class tst_CliOutputOnPty : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_gw = std::make_unique<SimOnPty>();
        const auto r = CliProcess::run(m_gw->line() + QStringList{"channels", "--json"});
        QCOMPARE(r.exitCode, 0);
        m_channels = QJsonDocument::fromJson(r.out.toUtf8()).object()[QStringLiteral("channels")].toArray();
        QCOMPARE(m_channels.size(), 40);
    }

    // Channels of the demo gateway, by index: a measured value is text and number, a failed or
    // empty channel gives null for both, and only thermometers have a temperature.
    void jsonGivesReadingsOnlyForMeasuredValues_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QJsonValue>("value1");
        QTest::addColumn<QJsonValue>("temperature");
        const QJsonValue null(QJsonValue::Null);
        QTest::newRow("thermometer") << 0 << QJsonValue(QStringLiteral("21.5 °C")) << QJsonValue(21.5);
        QTest::newRow("below zero") << 1 << QJsonValue(QStringLiteral("-20.0 °C")) << QJsonValue(-20.0);
        QTest::newRow("humidity sensor") << 2 << QJsonValue(QStringLiteral("23.4 °C")) << QJsonValue(23.4);
        QTest::newRow("iButton") << 4 << QJsonValue(QStringLiteral("1")) << null;
        QTest::newRow("unsupported family") << 6 << null << null;
        QTest::newRow("CRC error") << 7 << null << null;
        QTest::newRow("timeout") << 8 << null << null;
        QTest::newRow("not read") << 9 << null << null;
        QTest::newRow("free position") << 10 << null << null;
    }
    void jsonGivesReadingsOnlyForMeasuredValues()
    {
        QFETCH(int, index);
        QFETCH(QJsonValue, value1);
        QFETCH(QJsonValue, temperature);
        const QJsonObject ch = m_channels[index].toObject();
        const QJsonArray values = ch[QStringLiteral("values")].toArray();
        QCOMPARE(values[0], value1);
        QCOMPARE(ch[QStringLiteral("temperature")], temperature);
        if (value1.isNull()) {
            for (const QJsonValue &v : values)
                QVERIFY(v.isNull());
        }
        QVERIFY(ch.contains(QStringLiteral("raw"))); // the words themselves stay available
    }

    // stdout on a full disk: every command that prints ends with exit 1 and one line giving
    // the reason, instead of a success nobody can see.
    void lostOutputEndsTheCommand_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("channels") << QStringList{"channels"};
        QTest::newRow("channels --json -") << QStringList{"channels", "--json", "-"};
        QTest::newRow("watch --json") << QStringList{"watch", "--count", "3", "--json"};
        QTest::newRow("settings") << QStringList{"settings"};
        QTest::newRow("find-all") << QStringList{"find-all", "2"};
        QTest::newRow("backup -") << QStringList{"backup", "-"};
        QTest::newRow("log -") << QStringList{"log", "-", "--period", "2", "--duration", "2"};
    }
    void lostOutputEndsTheCommand()
    {
        QFETCH(QStringList, args);
        CliProcess cli;
        cli.setStandardOutputFile(QStringLiteral("/dev/full"));
        cli.start(m_gw->line() + args);
        const auto r = cli.finish();
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("tarvik-cli: ")) && r.err.endsWith(QStringLiteral(": No space left on device\n")),
                 qPrintable(r.err));
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
    }

    // Where a backup goes: "-" and a device as named, with the message on stderr; a new name
    // without an extension gets ".bin", an existing one is taken as it is.
    void backupTargets_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("written"); // "" for stdout
        QTest::addColumn<bool>("messageOnStdout");
        QTest::newRow("-") << "-" << "" << false;
        QTest::newRow("/dev/stdout") << "/dev/stdout" << "" << false;
        QTest::newRow("new name") << "gw" << "gw.bin" << true;
        QTest::newRow("existing name") << "plain" << "plain" << true;
    }
    void backupTargets()
    {
        QFETCH(QString, target);
        QFETCH(QString, written);
        QFETCH(bool, messageOnStdout);
        QTemporaryDir dir;
        const auto inDir = [&](const QString &name) { return name.startsWith(QLatin1Char('/')) || name == QLatin1String("-") ? name : dir.filePath(name); };
        QFile(dir.filePath(QStringLiteral("plain"))).open(QIODevice::WriteOnly);
        const QString out = dir.filePath(QStringLiteral("stdout"));
        CliProcess cli;
        cli.setStandardOutputFile(out);
        cli.start(m_gw->line() + QStringList{"backup", inDir(target), "--yes"});
        const auto r = cli.finish();
        QCOMPARE(r.exitCode, 0);
        QFile file(written.isEmpty() ? out : dir.filePath(written));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto records = ConfigurationFile::decode(file.readAll());
        QVERIFY(records);
        for (int c = 1; c <= 40; ++c)
            QCOMPARE((*records)[c - 1].rom, m_gw->rom(c));
        QCOMPARE(r.err.contains(QStringLiteral("The configuration of 40 channels")), !messageOnStdout);
    }

    // A device that cannot take the file (a full disk stands for any): one line with the
    // system's reason and exit code 1. Nothing is added to its name, no file appears beside
    // it, and Qt has nothing to say.
    void aDeviceThatCannotTakeTheFileIsOneLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::newRow("backup") << QStringList{"backup", "/dev/full"} << "tarvik-cli: Cannot write /dev/full: No space left on device\n";
        QTest::newRow("log") << QStringList{"log", "/dev/full", "--period", "1", "--duration", "1"}
                             << "tarvik-cli: Writing the log /dev/full failed: No space left on device\n";
    }
    void aDeviceThatCannotTakeTheFileIsOneLine()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        const auto r = CliProcess::run(m_gw->line() + args);
        const bool strayFile = QFile::exists(QStringLiteral("/dev/full.csv")) || QFile::exists(QStringLiteral("/dev/full.bin"));
        QFile::remove(QStringLiteral("/dev/full.csv"));
        QFile::remove(QStringLiteral("/dev/full.bin"));
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, says);
        QVERIFY(!strayFile);
    }

    void logToStdoutIsTheCsvAlone()
    {
        const auto r = CliProcess::run(m_gw->line() + QStringList{"log", "-", "--period", "1", "--duration", "2"});
        QCOMPARE(r.exitCode, 0);
        const QStringList rows = r.out.split(QStringLiteral("\r\n"));
        QCOMPARE(rows.size(), 7 + 2 + 1);
        QVERIFY2(rows[0].startsWith(QStringLiteral("Application:,")), qPrintable(rows[0]));
        QVERIFY(rows[8].contains(QStringLiteral("\"21.5 °C\"")));
        QVERIFY2(r.err.contains(QStringLiteral("2 rows written to standard output.")), qPrintable(r.err));
    }

    // log --plain, one hour east of UTC without summer time: ISO 8601 times with that offset,
    // at the moment of the row, and bare numbers; the header rows stay as they are.
    void plainLogIsForSpreadsheets()
    {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "CET-1");
        const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-1);
        const auto r = CliProcess::run(m_gw->line() + QStringList{"log", "-", "--plain", "--period", "1", "--duration", "2"});
        const QDateTime end = QDateTime::currentDateTimeUtc();
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
        QCOMPARE(r.exitCode, 0);
        const QStringList rows = r.out.split(QStringLiteral("\r\n"));
        QCOMPARE(rows.size(), 7 + 2 + 1);
        QVERIFY2(rows[6].startsWith(QStringLiteral("time,\"value1 [°C]\",")), qPrintable(rows[6]));
        for (int row = 7; row < 9; ++row) {
            const QStringList cells = rows[row].split(QLatin1Char(','));
            QCOMPARE(cells.size(), 41);
            QVERIFY2(cells[0].endsWith(QLatin1String("+01:00")) && cells[0].size() == 25, qPrintable(cells[0]));
            const QDateTime at = QDateTime::fromString(cells[0], Qt::ISODate);
            QVERIFY2(at.isValid() && at >= start && at <= end, qPrintable(cells[0]));
            bool number = false;
            QCOMPARE(cells[1].toDouble(&number), 21.5);
            QVERIFY(number);
            QCOMPARE(cells[2], QStringLiteral("-20.0"));
            QCOMPARE(cells[5], QString()); // an iButton measures no temperature
            // Line 2's thermometer in every row, the second one too: the reading taken before
            // the log's first round stays current until that round has come to it.
            QCOMPARE(cells[21], QStringLiteral("4.5"));
        }
    }

    // A port that does not open is one line, whatever the reason.
    void aPortThatDoesNotOpenIsOneLine_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("no such port") << "/dev/tarvik-no-such-port";
        QTest::newRow("no serial port") << "/dev/null";
    }
    void aPortThatDoesNotOpenIsOneLine()
    {
        QFETCH(QString, port);
        const auto r = CliProcess::run({"--port", port, "channels"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("tarvik-cli: ")) && r.err.count(QLatin1Char('\n')) == 1, qPrintable(r.err));
    }

private:
    std::unique_ptr<SimOnPty> m_gw;
    QJsonArray m_channels;
};

QTEST_GUILESS_MAIN(tst_CliOutputOnPty)
#include "tst_CliOutputOnPty.moc"
