// tarvik-cli against the simulated gateway on a pseudo-terminal: what it prints is what the
// gateway's registers hold, what it writes lands in the registers named and no others, and a
// gateway that does not answer ends it within the timeout.
#include "CliProcess.h"
#include "CommSettings.h"
#include "RegisterMap.h"
#include "SimOnPty.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTest>

namespace {

QString quoted(const QString &cell)
{
    return QLatin1Char('"') + cell + QLatin1Char('"');
}

} // namespace

class tst_CliOnPty : public QObject
{
    Q_OBJECT
private slots:
    void channelsJsonIsTheSimulatorsPopulationWithTheWindowsStoredLine()
    {
        SimOnPty gw;
        // What the window stored on closing: the port and 115.2 kBd (index 13).
        {
            QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quarnel"), QStringLiteral("1-WIRE-TARVIK Tool"));
            CommSettings c;
            c.portName = gw.link;
            c.baudIndex = 13;
            c.save(store);
        }
        const auto r = CliProcess::run({QStringLiteral("channels"), QStringLiteral("--json")});
        {
            QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quarnel"), QStringLiteral("1-WIRE-TARVIK Tool"));
            store.clear();
        }
        QCOMPARE(r.exitCode, 0);
        const QJsonObject doc = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(doc[QStringLiteral("firmware")].toString(), QStringLiteral("V1.09"));
        QCOMPARE(doc[QStringLiteral("hardware")].toString(), QStringLiteral("V1.00"));
        QCOMPARE(doc[QStringLiteral("lines")].toArray()[1].toObject()[QStringLiteral("state")].toString(), QStringLiteral("OK"));
        const QJsonArray channels = doc[QStringLiteral("channels")].toArray();
        QCOMPARE(channels.size(), 40);
        for (int c = 1; c <= 40; ++c) {
            const QJsonObject ch = channels[c - 1].toObject();
            const auto assigned = gw.model().assigned(c);
            const uint16_t record = ChannelMap::recordAddress(c);
            QCOMPARE(ch[QStringLiteral("channel")].toInt(), c);
            QCOMPARE(ch[QStringLiteral("number")].toInt(), c - 1);
            QCOMPARE(ch[QStringLiteral("rom")].toString(), assigned ? RomCode::toText(*assigned) : QString());
            QCOMPARE(ch[QStringLiteral("status")].toInt(), gw.model().reg(uint16_t(record + ChannelMap::StatusOffset)) & 0xFF);
            const QJsonArray raw = ch[QStringLiteral("raw")].toArray();
            for (int v = 0; v < 5; ++v)
                QCOMPARE(raw[v].toInt(), gw.model().reg(uint16_t(record + ChannelMap::ValueOffset + v)));
        }
        // Decoded as the sensor boxes show them.
        QCOMPARE(channels[0].toObject()[QStringLiteral("values")].toArray()[0].toString(), QStringLiteral("21.5 °C"));
        QCOMPARE(channels[0].toObject()[QStringLiteral("family")].toString(), QStringLiteral("DS18B20"));
        QCOMPARE(channels[2].toObject()[QStringLiteral("values")].toArray()[1].toString(), QStringLiteral("45.3 %"));
        QCOMPARE(channels[7].toObject()[QStringLiteral("statusText")].toString(), QStringLiteral("CRC error"));
        QCOMPARE(channels[10].toObject()[QStringLiteral("statusText")].toString(), QStringLiteral("Free position"));
    }

    void watchPrintsOneJsonObjectPerRound()
    {
        SimOnPty gw;
        const auto r = CliProcess::run(gw.line() + QStringList{"watch", "--count", "2", "--json"});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        for (const QString &line : lines) {
            const QJsonObject round = QJsonDocument::fromJson(line.toUtf8()).object();
            QCOMPARE(round[QStringLiteral("channels")].toArray().size(), 40);
            QVERIFY(!round[QStringLiteral("time")].toString().isEmpty());
        }
    }

    void aSilentGatewayEndsTheCommandWithinTheTimeout()
    {
        SimOnPty gw; // at address 1; asked at address 5 nobody answers
        const auto r = CliProcess::run(gw.line() + QStringList{"--address", "5", "--timeout", "400", "channels"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("tarvik-cli: No answer from the gateway (address 5 on ")), qPrintable(r.err));
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        // The first request goes out one poll interval (300 ms) after opening.
        QVERIFY2(r.ms < 300 + 400 + 1500, qPrintable(QString::number(r.ms)));
    }

    // Noise before every answer, an adapter echoing every request: every answer is still taken,
    // byte for byte. Answers from another address are never taken for this gateway's.
    void channelsShowOnlyThisGatewaysAnswers_data()
    {
        QTest::addColumn<double>("noise");
        QTest::addColumn<bool>("echo");
        QTest::addColumn<double>("foreign");
        QTest::newRow("noise before every answer") << 1.0 << false << 0.0;
        QTest::newRow("every request echoed") << 0.0 << true << 0.0;
        QTest::newRow("echo and noise") << 1.0 << true << 0.0;
        QTest::newRow("answers from another address") << 0.0 << false << 1.0;
    }
    void channelsShowOnlyThisGatewaysAnswers()
    {
        QFETCH(double, noise);
        QFETCH(bool, echo);
        QFETCH(double, foreign);
        GatewaySimulator::Options options = SimOnPty::defaults();
        options.echo = echo;
        SimOnPty gw(options);
        FaultInjector::Rates rates;
        rates.garbage = noise;
        rates.foreign = foreign;
        gw.sim->faults().setRates(rates);
        const auto r = CliProcess::run(gw.line() + QStringList{"--timeout", "1000", "channels", "--json"});
        if (foreign > 0) {
            QCOMPARE(r.exitCode, 1);
            QVERIFY(r.out.isEmpty());
            QVERIFY2(r.err.contains(QStringLiteral("(answers came from address 2 instead)")), qPrintable(r.err));
            return;
        }
        QCOMPARE(r.exitCode, 0);
        const QJsonArray channels = QJsonDocument::fromJson(r.out.toUtf8()).object()[QStringLiteral("channels")].toArray();
        QCOMPARE(channels.size(), 40);
        for (int c = 1; c <= 40; ++c) {
            const auto assigned = gw.model().assigned(c);
            QCOMPARE(channels[c - 1].toObject()[QStringLiteral("rom")].toString(), assigned ? RomCode::toText(*assigned) : QString());
        }
    }

    // At 19.2 kBd a 200 ms answer delay makes the answer come after the poll interval: the
    // cycle waits for it instead of talking over it, so the gateway stays reachable.
    void aLongAnswerDelayKeepsTheGatewayReachable()
    {
        GatewaySimulator::Options options = SimOnPty::defaults();
        options.line.baudRate = 19200;
        options.paced = true;
        SimOnPty gw(options);
        auto r = CliProcess::run(gw.line() + QStringList{"settings", "--set", "com0.delay=200"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(gw.model().answerDelayMs(), 200);
        r = CliProcess::run(gw.line() + QStringList{"channels"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith(QStringLiteral("Gateway FW version: V1.09")), qPrintable(r.err));
    }

    void settingsSetWritesExactlyTheNamedRegisters()
    {
        SimOnPty gw;
        std::array<uint16_t, PollBlockSize> before{};
        for (int i = 0; i < PollBlockSize; ++i)
            before[size_t(i)] = gw.model().reg(uint16_t(ServiceRegs::Start + i));
        const auto r = CliProcess::run(gw.line() + QStringList{
            "settings", "--set", "com0.baud=19200", "com1.parity=even", "power=3", "com0.delay=25.7", "com1.stopbits=1"});
        QCOMPARE(r.exitCode, 0);
        const QMap<int, uint16_t> expected = {{1002, 192}, {1008, 2}, {1055, 3}, {1053, 25}}; // com1.stopbits was 1 already
        for (int i = 0; i < PollBlockSize; ++i) {
            const int reg = ServiceRegs::Start + i;
            QCOMPARE(int(gw.model().reg(uint16_t(reg))), int(expected.value(reg, before[size_t(i)])));
        }
        QVERIFY2(r.out.contains(QStringLiteral("com0.baud: 115.2 kBd -> 19.2 kBd")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("Parity:     NONE            EVEN")), qPrintable(r.out));
        QVERIFY(!r.out.contains(QStringLiteral("com1.stopbits:")));
    }

    void findNewThenSaveNewAssignsTheDevice()
    {
        SimOnPty gw;
        // The demo's one line-1 device that no channel holds.
        const QString code = RomCode::toText(GatewayModel::makeRom(0x28, 0x05E260A2F00D));
        auto r = CliProcess::run(gw.line() + QStringList{"find-new", "1"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("LINE 1\nCommand: 0x05FF\nOperation status: OK (0xFFFF)\nNew: %1\n").arg(code));

        QVERIFY(!gw.model().assigned(12));
        r = CliProcess::run(gw.line() + QStringList{"save-new", "11"}); // channel 12, zero-based
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(gw.model().assigned(12), GatewayModel::makeRom(0x28, 0x05E260A2F00D));
        QVERIFY2(r.out.startsWith(QStringLiteral("Command: 0x090B\nOperation status: OK (0xFFFF)\n")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("\n11  %1  DS18B20").arg(code)), qPrintable(r.out));

        // Nothing new is left on the line: the gateway's error status is exit code 1.
        r = CliProcess::run(gw.line() + QStringList{"find-new", "1"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.contains(QStringLiteral("Operation status: Error reading ROM code (0xEEE3)")));
    }

    void deviceCommandsReachTheChannelInOneBasedNumbering()
    {
        SimOnPty gw;
        auto r = CliProcess::run(gw.line() + QStringList{"--numbering", "1", "write-rom", "34", "28-aa-bb-cc-dd-ee-ff-0c"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(gw.model().assigned(34), (RomCode::Words{0x28AA, 0xBBCC, 0xDDEE, 0xFF0C}));
        // A code failing its CRC goes only with --force, and says so.
        r = CliProcess::run(gw.line() + QStringList{"--numbering", "1", "write-rom", "35", "28AABBCCDDEEFF00"});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!gw.model().assigned(35));
        r = CliProcess::run(gw.line() + QStringList{"--numbering", "1", "write-rom", "35", "28AABBCCDDEEFF00", "--force"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.contains(QStringLiteral("Written all the same (--force).")), qPrintable(r.err));
        QCOMPARE(gw.model().assigned(35), (RomCode::Words{0x28AA, 0xBBCC, 0xDDEE, 0xFF00}));
        r = CliProcess::run(gw.line() + QStringList{"--numbering", "1", "delete", "21"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!gw.model().assigned(21));
        QVERIFY2(r.out.startsWith(QStringLiteral("Command: 0x0F14\n")), qPrintable(r.out));
        r = CliProcess::run(gw.line() + QStringList{"--numbering", "1", "find-all", "2"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(QStringLiteral("\n6      %1  DS18B20").arg(RomCode::toText(GatewayModel::makeRom(0x28, 0x03A1B2C3F002)))), qPrintable(r.out));
        r = CliProcess::run(gw.line() + QStringList{"--numbering", "1", "save-found", "6", "21"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(gw.model().assigned(21), GatewayModel::makeRom(0x28, 0x03A1B2C3F002));
    }

    // A gateway that refuses some reads, then answers only with spoiled frames: refusals skip
    // nothing the next answer brings, and rows stop while nothing new comes, each counted;
    // the log goes on to its end.
    void logHoldsOnlyWhatTheGatewayAnswered()
    {
        SimOnPty gw;
        FaultInjector::Rates rates;
        rates.exception = 0.3;
        gw.sim->faults().setRates(rates);
        const QString path = gw.dir.filePath(QStringLiteral("log.csv"));
        CliProcess log;
        log.start(gw.line() + QStringList{"log", path, "--period", "1", "--duration", "6"});
        QVERIFY(QTest::qWaitFor([&] { QFile f(path); return f.open(QIODevice::ReadOnly) && f.readAll().count('\n') >= 10; }, 10000));
        rates.exception = 0;
        rates.corrupt = 1.0;
        gw.sim->faults().setRates(rates);
        const auto r = log.finish(15000);
        QCOMPARE(r.exitCode, 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const int rows = int(file.readAll().count('\n')) - 7;
        QVERIFY2(rows >= 3 && rows <= 5, qPrintable(QString::number(rows)));
        QCOMPARE(r.out, QStringLiteral("%1 rows written to %2 (%3 skipped: no new answer from the gateway).\n").arg(rows).arg(path).arg(6 - rows));
    }

    // A 1 s log at 9600 Bd, where the four channel blocks come round every 2 s: a row every
    // second, every thermometer's cell filled in each, and the start says why values repeat.
    void aLogAtOneSecondAt9600BdFillsEveryRow()
    {
        SimOnPty gw({.line = {.baudRate = 9600}, .paced = true, .clock = false});
        const QString path = gw.dir.filePath(QStringLiteral("log.csv"));
        const auto r = CliProcess::run(gw.line() + QStringList{"log", path, "--period", "1", "--duration", "5"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("5 rows written to %1.\n").arg(path));
        QCOMPARE(r.err, QStringLiteral("--period 1 s is shorter than the poll cycle: values change at most every 2 s at 9600 Bd; "
                                       "rows in between repeat the latest values.\n"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(7);
        QCOMPARE(rows.size(), 5);
        for (const QString &row : rows) {
            const QStringList cells = row.split(QLatin1Char(','));
            // The demo gateway's thermometers that read OK: Ch0-Ch3 and Ch20-Ch22, Ch24.
            for (int c : {1, 2, 3, 4, 21, 22, 23, 25})
                QVERIFY2(!cells[c].isEmpty(), qPrintable(QStringLiteral("Ch%1 empty in: %2").arg(c - 1).arg(row)));
        }
    }

    void logWritesTheWindowsHeaderAndOneRowPerPeriod()
    {
        SimOnPty gw;
        const QString path = gw.dir.filePath(QStringLiteral("log.csv"));
        // Two seconds: every channel block comes round within a period.
        const auto r = CliProcess::run(gw.line() + QStringList{"log", path, "--period", "2", "--duration", "6"});
        QCOMPARE(r.exitCode, 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
        QCOMPARE(rows.size(), 7 + 3 + 1); // the last line end leaves an empty tail
        QStringList numbers{QStringLiteral("Channel:")}, roms{quoted(QStringLiteral("ROM code:"))}, titles{QStringLiteral("time")};
        for (int c = 1; c <= 40; ++c) {
            numbers.append(QStringLiteral("Ch%1").arg(c - 1));
            roms.append(RomCode::toText(gw.rom(c)));
            titles.append(quoted(QStringLiteral("value1 [°C]")));
        }
        QCOMPARE(rows[0], QStringLiteral("Application:,\"1-WIRE-TARVIK Tool V1.09 (OBRIX)\"") + QString(39, QLatin1Char(',')));
        QCOMPARE(rows[1], QStringLiteral("\"File info:\",\"Gateway log file\"") + QString(39, QLatin1Char(',')));
        QCOMPARE(rows[2], QString(40, QLatin1Char(',')));
        QCOMPARE(rows[3], numbers.join(QLatin1Char(',')));
        QCOMPARE(rows[4], roms.join(QLatin1Char(',')));
        QCOMPARE(rows[5], QStringLiteral("Description:") + QString(40, QLatin1Char(',')));
        QCOMPARE(rows[6], titles.join(QLatin1Char(',')));
        for (int row = 7; row < 10; ++row) {
            const QStringList cells = rows[row].split(QLatin1Char(','));
            QCOMPARE(cells.size(), 41);
            QCOMPARE(cells[1], quoted(QStringLiteral("21.5 °C")));
            QCOMPARE(cells[2], quoted(QStringLiteral("-20.0 °C")));
            QCOMPARE(cells[5], QString()); // an iButton measures no temperature
            QCOMPARE(cells[11], QString()); // a free position
        }
        QVERIFY(rows[10].isEmpty());
        QCOMPARE(r.out, QStringLiteral("3 rows written to %1.\n").arg(path));
    }
};

QTEST_GUILESS_MAIN(tst_CliOnPty)
#include "tst_CliOnPty.moc"
