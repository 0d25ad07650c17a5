// backup and restore against the simulated gateway: a restore brings every channel's ROM code
// back and --verify reads them back; Ctrl+C stops between two channels, never leaving one
// freed without its code.
#include "CliProcess.h"
#include "ConfigurationFile.h"
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
        QCOMPARE(r.out, QStringLiteral("Serial numbers have been rewritten.\nVerified: every channel holds the ROM code of %1.\n").arg(path));

        // A second backup over the first is only made with --yes (no terminal to ask).
        r = CliProcess::run(gw.line() + QStringList{"backup", path});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(QStringLiteral("already exists. Do you want to rewrite it?")), qPrintable(r.err));
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
        QVERIFY2(r.err.contains(QStringLiteral("Restore stopped: 3 of 40 channels hold the file's ROM codes; the others keep what they held.")),
                 qPrintable(r.err));
        // The backup is what the gateway held: every channel is as it was, none left free.
        QCOMPARE(gw.assignments(), before);
    }
};

QTEST_GUILESS_MAIN(tst_CliBackupOnPty)
#include "tst_CliBackupOnPty.moc"
