// Backing up the simulated gateway's channel assignments and restoring them after some were
// freed, over a pseudo-terminal: the wire carries one delete and one ROM code write per record.
#include "ConfigurationFile.h"
#include "ScriptedPrompts.h"
#include "SimOnPty.h"
#include "TFrame_Komunikace.h"
#include "TFrame_SensorBox.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"

#include <QComboBox>
#include <QTest>

class tst_BackupOnPty : public QObject
{
    Q_OBJECT
private slots:
    void restoreWritesEveryChannelBack()
    {
        ScriptedPrompts prompts;
        SimOnPty sim({.line = {.baudRate = 115200}, .paced = false});
        const QList<std::optional<RomCode::Words>> before = sim.assignments();

        TMainForm form;
        form.setPersistSettings(false);
        form.preselectPort(sim.link);
        form.connectionPanel()->ComboBox_BaudRate->setCurrentIndex(13);
        form.Connect1Click();
        TTarvikKomunikator *gw = form.communicator();
        // Every channel block read once.
        QVERIFY(QTest::qWaitFor([&] { return form.sensorBoxes()[39]->lastRecord().channel == 40
                                             && form.sensorBoxes()[0]->lastRecord().channel == 1; }, 10000));
        const QString backup = sim.dir.filePath(QStringLiteral("demo.bin"));
        prompts.queueFile(backup);
        form.Export1Click();

        // Channels freed on the gateway, and one moved.
        for (int cc : {0, 1, 20, 24})
            QCOMPARE(sim.model().writeSingle(cc < 20 ? 1010 : 1020, uint16_t(0x0F00 + cc)), GatewayModel::Access::Ok);
        QCOMPARE(sim.model().writeMultiple(20, {0x2800, 0, 0, 0x0077}), GatewayModel::Access::Ok);
        QVERIFY(!sim.model().assigned(1));

        QList<QByteArray> wire;
        const auto shown = gw->OnTxFrame;
        gw->OnTxFrame = [&](const TFrameBuffer &f) {
            wire.append(QByteArray(reinterpret_cast<const char *>(f.Data), f.Len));
            shown(f);
        };
        gw->SetPollInterval(20); // the import waits one poll interval per write
        prompts.queueFile(backup);
        prompts.queueConfirm(true);
        form.Import1Click();
        QVERIFY(QTest::qWaitFor([&] { return !gw->ImportRunning(); }, 20000));
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information), QStringList{QStringLiteral("Serial numbers have been rewritten.")});

        for (int c = 1; c <= 40; ++c)
            QCOMPARE(sim.model().assigned(c), before[c - 1]);
        // Per record: a delete (function 06) then the ROM code (function 16), nothing between.
        const qsizetype firstWrite = std::find_if(wire.begin(), wire.end(), [](const QByteArray &f) { return f[1] == 0x06; }) - wire.begin();
        QCOMPARE(wire.size() - firstWrite >= 80, true);
        for (int k = 0; k < 40; ++k) {
            const QByteArray del = wire[firstWrite + 2 * k];
            const QByteArray rom = wire[firstWrite + 2 * k + 1];
            QCOMPARE(int(del[1]), 0x06);
            QCOMPARE(uint8_t(del[5]), uint8_t(k)); // 0x0F00 + position - 1
            QCOMPARE(int(rom[1]), 0x10);
            QCOMPARE(uint8_t(rom[3]), uint8_t(k * 10));
        }
        QVERIFY(gw->PollTimer().isActive());
    }
};

QTEST_MAIN(tst_BackupOnPty)
#include "tst_BackupOnPty.moc"
