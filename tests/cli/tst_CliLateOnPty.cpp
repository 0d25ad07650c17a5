// tarvik-cli against a gateway that answers late or stalls and then answers its queue, and
// against one whose answers to one block never arrive whole: what it prints and saves is still
// the gateway's, block for block, and every command ends within its deadline, saying which
// block never came and why.
#include "CliProcess.h"
#include "ConfigurationFile.h"
#include "RegisterMap.h"
#include "SimOnPty.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

// The channels of one JSON report against the gateway's registers.
QString differences(const QJsonObject &report, SimOnPty &gw)
{
    const QJsonArray channels = report[QStringLiteral("channels")].toArray();
    if (channels.size() != 40)
        return QStringLiteral("%1 channels").arg(channels.size());
    if (report[QStringLiteral("firmware")].toString() != QLatin1String("V1.09"))
        return QStringLiteral("firmware %1").arg(report[QStringLiteral("firmware")].toString());
    for (int c = 1; c <= 40; ++c) {
        const QJsonObject ch = channels[c - 1].toObject();
        const auto assigned = gw.model().assigned(c);
        if (ch[QStringLiteral("rom")].toString() != (assigned ? RomCode::toText(*assigned) : QString()))
            return QStringLiteral("channel %1: %2").arg(c).arg(ch[QStringLiteral("rom")].toString());
        const QJsonArray raw = ch[QStringLiteral("raw")].toArray();
        for (int v = 0; v < 5; ++v)
            if (raw[v].toInt() != gw.model().reg(uint16_t(ChannelMap::recordAddress(c) + ChannelMap::ValueOffset + v)))
                return QStringLiteral("channel %1 value %2").arg(c).arg(v + 1);
    }
    return QString();
}

} // namespace

class tst_CliLateOnPty : public QObject
{
    Q_OBJECT
private slots:
    void everythingPrintedAndSavedIsTheGatewaysOwn_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("stalls");
        QTest::newRow("channels, answers late") << "channels" << false;
        QTest::newRow("watch, gateway stalls") << "watch" << true;
        QTest::newRow("backup, answers late") << "backup" << false;
    }
    void everythingPrintedAndSavedIsTheGatewaysOwn()
    {
        QFETCH(QString, command);
        QFETCH(bool, stalls);
        GatewaySimulator::Options options = SimOnPty::defaults();
        if (stalls) {
            // Silent for 0.8 s every 2.5 s, then the queue at once.
            options.stallMs = 800;
            options.stallEveryMs = 2500;
        }
        SimOnPty gw(options);
        if (!stalls) {
            FaultInjector::Rates late;
            late.late = 0.2;
            late.lateMs = 400; // the master gives up after about 70 ms at 115.2 kBd
            gw->faults().setRates(late);
        }
        const QString file = gw.dir.filePath(QStringLiteral("gw.bin"));
        // Long enough for a few lost answers in a row (each costs a pause of a second).
        QStringList args = gw.line() + QStringList{QStringLiteral("--timeout"), QStringLiteral("8000"), command};
        if (command == QLatin1String("watch"))
            args << QStringLiteral("--count") << QStringLiteral("3") << QStringLiteral("--json");
        else if (command == QLatin1String("channels"))
            args << QStringLiteral("--json");
        else
            args << file;
        const auto r = CliProcess::run(args);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(stalls ? gw->stats().stalls > 0 : gw->faults().counts().late > 0);

        if (command == QLatin1String("backup")) {
            QList<TChannelRecord> records;
            QCOMPARE(ConfigurationFile::read(file, records), ConfigurationFile::ReadResult::Ok);
            for (int c = 1; c <= 40; ++c) {
                QCOMPARE(records[c - 1].channel, uint8_t(c));
                QCOMPARE(records[c - 1].rom, gw.rom(c));
            }
            return;
        }
        const QStringList reports = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QStringList objects = command == QLatin1String("watch") ? reports : QStringList{r.out};
        QCOMPARE(objects.size(), command == QLatin1String("watch") ? 3 : 1);
        for (const QString &text : objects)
            QCOMPARE(differences(QJsonDocument::fromJson(text.toUtf8()).object(), gw), QString());
    }

    // Every answer to one block has a bit flipped: the gateway answers, but that block never
    // arrives whole. Each command ends by its deadline, naming the block and the reason.
    void aBlockThatNeverArrivesWholeEndsEveryCommand_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("spoiled"); // start address of the block always answered broken
        QTest::addColumn<QString>("said");
        const QString channels = QStringLiteral("channels 0-9 never arrived whole");
        QTest::newRow("channels") << QStringList{"channels"} << 0 << channels;
        QTest::newRow("watch") << QStringList{"watch", "--count", "5"} << 0 << channels;
        QTest::newRow("log") << QStringList{"log", "FILE", "--period", "1"} << 0 << channels;
        QTest::newRow("settings") << QStringList{"settings"} << 1000 << QStringLiteral("the service block never arrived whole");
    }
    void aBlockThatNeverArrivesWholeEndsEveryCommand()
    {
        QFETCH(QStringList, args);
        QFETCH(int, spoiled);
        QFETCH(QString, said);
        SimOnPty gw;
        gw->RequestFate = [spoiled](const QByteArray &frame) {
            const bool read = frame.size() >= 4 && frame[1] == 0x03;
            return read && (uint8_t(frame[2]) << 8 | uint8_t(frame[3])) == spoiled ? GatewaySimulator::Fate::Corrupt
                                                                                 : GatewaySimulator::Fate::Answer;
        };
        args.replaceInStrings(QStringLiteral("FILE"), gw.dir.filePath(QStringLiteral("out")));
        const auto r = CliProcess::run(gw.line() + QStringList{"--timeout", "500"} + args, 20000);
        QVERIFY2(r.finished, qPrintable(r.err));
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(said) && r.err.contains(QLatin1String("CRC errors")), qPrintable(r.err));
        // Five blocks' turns and four timeouts: 3.5 s, and the start.
        QVERIFY2(r.ms < 6000, qPrintable(QString::number(r.ms)));
    }
};

QTEST_GUILESS_MAIN(tst_CliLateOnPty)
#include "tst_CliLateOnPty.moc"
