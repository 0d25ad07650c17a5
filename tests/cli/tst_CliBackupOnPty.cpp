// backup and restore against the simulated gateway: a restore brings every channel's ROM code
// back and --verify reads them back; Ctrl+C stops between two channels, never leaving one
// freed without its code.
#include "CliProcess.h"
#include "ConfigurationFile.h"
#include "PtyPair.h"
#include "RegisterMap.h"
#include "SimOnPty.h"

#include <QFileInfo>
#include <QTest>

namespace {
void freeEveryChannel(GatewayModel &model)
{
    for (int c = 1; c <= ChannelMap::ChannelCount; ++c)
        model.writeSingle(ServiceRegs::commandRegisterOf(c), uint16_t(Command::DeleteBase + c - 1));
}
} // namespace

class tst_CliBackupOnPty : public QObject
{
    Q_OBJECT
private slots:
    void backupThenRestoreVerifyBringsEveryRomCodeBack()
    {
        SimOnPty gw;
        const auto before = gw.assignments();
        const QString path = gw.dir.filePath(QStringLiteral("demo.bin"));
        auto r = CliProcess::run(gw.line() + QStringList{"backup", path});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QFileInfo(path).size(), qint64(ConfigurationFile::FileSize));

        freeEveryChannel(gw.model());
        QVERIFY(!gw.model().assigned(1));
        // The extension is added as the window adds it.
        r = CliProcess::run(gw.line() + QStringList{"restore", gw.dir.filePath(QStringLiteral("demo")), "--verify"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(gw.assignments(), before);
        QCOMPARE(r.out, QStringLiteral("Serial numbers have been rewritten.\nVerified: the 40 channels the file names hold its ROM codes (%1).\n").arg(path));

        // A second backup over the first is only made with --yes (no terminal to ask).
        r = CliProcess::run(gw.line() + QStringList{"backup", path});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(QStringLiteral("already exists. Do you want to rewrite it?")), qPrintable(r.err));
    }

    // At a terminal, restore first says which channels the file changes (from a read of the
    // gateway) and how many stay the same, and writes only after Yes.
    void atATerminalRestoreSaysWhatChangesAndAsks()
    {
        SimOnPty gw;
        const auto before = gw.assignments();
        const QString path = gw.dir.filePath(QStringLiteral("demo.bin"));
        QCOMPARE(CliProcess::run(gw.line() + QStringList{"backup", path}).exitCode, 0);
        // Only channels 2 and 3 are written back (the others as never read), so the test is short.
        QList<TChannelRecord> records;
        QCOMPARE(ConfigurationFile::read(path, records), ConfigurationFile::ReadResult::Ok);
        for (TChannelRecord &r : records)
            if (r.channel != 2 && r.channel != 3)
                r.channel = 0;
        QVERIFY(ConfigurationFile::write(path, records, nullptr));
        for (int c : {2, 3})
            gw.model().writeSingle(ServiceRegs::commandRegisterOf(c), uint16_t(Command::DeleteBase + c - 1));
        const QString changes = QStringLiteral("From the last read, the ROM codes of channels 1-2 change (2 channels); 38 stay the same.\n");
        const QString question = QStringLiteral("Write %1 into the gateway? [y/N] ").arg(path);

        PtyPair terminal;
        terminal.link().write("n\n"); // typed ahead; read when the question comes
        CliProcess no;
        no.setStandardInputFile(terminal.path());
        no.start(gw.line() + QStringList{"restore", path});
        auto r = no.finish();
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.startsWith(changes + question) && r.err.endsWith(QStringLiteral("Nothing was written.\n")), qPrintable(r.err));
        QVERIFY(!gw.model().assigned(2) && !gw.model().assigned(3));

        terminal.link().write("y\n");
        CliProcess yes;
        yes.setStandardInputFile(terminal.path());
        yes.start(gw.line() + QStringList{"restore", path});
        r = yes.finish();
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.startsWith(changes + question), qPrintable(r.err));
        QCOMPARE(gw.assignments(), before);
    }

    void ctrlCStopsTheRestoreBetweenTwoChannels()
    {
        SimOnPty gw;
        const auto before = gw.assignments();
        const QString path = gw.dir.filePath(QStringLiteral("demo.bin"));
        QCOMPARE(CliProcess::run(gw.line() + QStringList{"backup", path}).exitCode, 0);

        CliProcess restore;
        restore.start(gw.line() + QStringList{"restore", path});
        // Ctrl+C just after the gateway freed channel 3 and before its code is written again.
        QVERIFY(QTest::qWaitFor([&] { return !gw.model().assigned(3); }, 20000));
        restore.interrupt();
        const auto r = restore.finish(10000);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Restore stopped. Rewritten: channels 0-2 (3). The channels not reached keep what they held. "
                                               "Running the restore again finishes the job.")),
                 qPrintable(r.err));
        // The backup is what the gateway held: every channel is as it was, none left free.
        QCOMPARE(gw.assignments(), before);
    }

    // Every write of a restore must be confirmed: the first the gateway refuses or leaves
    // unanswered ends it, saying what each channel holds now; a damaged file or one whose ROM
    // codes fail their CRC is not written at all (the latter only with --force).
    void restoreSaysWhatTheGatewayTook_data()
    {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::addColumn<int>("freed"); // channels free afterwards
        QTest::newRow("ROM codes of line 1 refused")
            << "refuse line 1" << QStringList() << 1
            << "The gateway refused the ROM code of channel 0 (Modbus exception 4): channel 0 was freed and is now free. "
               "No channel was rewritten."
            << 1;
        QTest::newRow("gateway silent from channel 5 on")
            << "silent from 5" << QStringList() << 1
            << "The gateway did not answer the freeing of channel 4: it may be free now. Rewritten: channels 0-3 (4)." << 0;
        QTest::newRow("a record out of place") << "misplaced" << QStringList() << 2
                                               << "Record 2 of the file names channel position 3 where position 2 belongs" << 0;
        QTest::newRow("no channel ever read") << "unread" << QStringList() << 2 << "holds no channel that was ever read" << 0;
        QTest::newRow("a ROM code failing its CRC")
            << "bad crc" << QStringList() << 2
            << "The ROM codes of channel 0 in %1 fail their 1-Wire CRC check: the file may be damaged. Restore with --force" << 0;
        QTest::newRow("a ROM code failing its CRC, forced") << "bad crc" << QStringList{"--force"} << 0 << "Written all the same" << 0;
    }
    void restoreSaysWhatTheGatewayTook()
    {
        QFETCH(QString, trouble);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        QFETCH(int, freed);
        SimOnPty gw;
        const auto before = gw.assignments();
        const QString path = gw.dir.filePath(QStringLiteral("demo.bin"));
        QCOMPARE(CliProcess::run(gw.line() + QStringList{"backup", path}).exitCode, 0);
        QList<TChannelRecord> records;
        QCOMPARE(ConfigurationFile::read(path, records), ConfigurationFile::ReadResult::Ok);
        if (trouble == QLatin1String("misplaced"))
            records[1].channel = 3;
        if (trouble == QLatin1String("unread"))
            records = QList<TChannelRecord>(40);
        if (trouble == QLatin1String("bad crc")) {
            records[0].rom[1] ^= 0x0100;
            // Positions never read are not written: a short restore.
            for (int k = 4; k < 40; ++k)
                records[k].channel = 0;
        }
        QVERIFY(ConfigurationFile::write(path, records, nullptr));
        int writes = 0;
        gw.sim->RequestFate = [&](const QByteArray &frame) {
            const auto function = uint8_t(frame[1]);
            if (function == 0x06 || function == 0x10)
                ++writes;
            const int reg = uint8_t(frame[2]) << 8 | uint8_t(frame[3]);
            if (trouble == QLatin1String("refuse line 1") && function == 0x10 && reg < 200)
                return GatewaySimulator::Fate::Refuse;
            // The fifth channel's free is the ninth write.
            if (trouble == QLatin1String("silent from 5") && writes >= 9)
                return GatewaySimulator::Fate::Ignore;
            return GatewaySimulator::Fate::Answer;
        };
        const auto r = CliProcess::run(gw.line() + QStringList{"restore", path} + options);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(says.contains(QLatin1String("%1")) ? says.arg(path) : says), qPrintable(r.err));
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        if (exitCode == 2)
            QCOMPARE(writes, 0);
        const auto after = gw.assignments();
        int nowFree = 0;
        for (int c = 0; c < 40; ++c) {
            if (!after[c] && before[c])
                ++nowFree;
            else if (trouble != QLatin1String("bad crc"))
                QCOMPARE(after[c], before[c]);
        }
        QCOMPARE(nowFree, freed);
    }
};

QTEST_GUILESS_MAIN(tst_CliBackupOnPty)
#include "tst_CliBackupOnPty.moc"
