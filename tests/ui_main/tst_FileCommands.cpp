// The File and Descriptions commands of the main window: the questions around the file
// dialogs, and a backup shown or restored.
#include "ChannelNumbering.h"
#include "ConfigurationFile.h"
#include "FileCommands.h"
#include "FrameBytes.h"
#include "MemoryTransport.h"
#include "RomCode.h"
#include "ScriptedPrompts.h"
#include "TForm_ProgressDialog.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorBox.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"
#include "TestHelpers.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

namespace {

struct Rig
{
    QTemporaryDir dir;
    QTemporaryFile device;
    MemoryTransport *line = new MemoryTransport;
    std::unique_ptr<TMainForm> form;
    Rig()
    {
        clearStoredSettings();
        device.open();
        form = std::make_unique<TMainForm>(std::unique_ptr<SerialTransport>(line));
        form->setPersistSettings(false);
        form->preselectPort(device.fileName());
    }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    TFrame_SensorBox *box(int channel) const { return form->sensorBoxes()[channel - 1]; }
};

} // namespace

class tst_FileCommands : public QObject
{
    Q_OBJECT
private slots:
    void noToTheRewriteQuestionThenCancelWritesNothing()
    {
        ScriptedPrompts prompts;
        Rig rig;
        const QString existing = rig.path("descriptions.txt");
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
        f.close();
        prompts.queueFile(rig.path("descriptions")); // the extension is added
        prompts.queueConfirm(false);
        rig.form->SaveToFile1Click(); // the second dialog is cancelled
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Confirmation),
                 QStringList{existing + QStringLiteral(" already exists. Do you want to rewrite it?")});
        QCOMPARE(prompts.shown()[1].question, Prompts::Question::WarningYesNo);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::SaveFile).size(), 2);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep"));
    }

    void descriptionsRoundTripAndMenu()
    {
        ScriptedPrompts prompts;
        Rig rig;
        rig.box(1)->SetDescription(QStringLiteral("Kotelna"));
        rig.box(40)->SetDescription(QString(40, QLatin1Char('x')));
        prompts.queueFile(rig.path("d.txt"));
        rig.form->SaveToFile1Click();

        prompts.queueConfirm(true);
        rig.form->DeleteDescriptions1Click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Confirmation), QStringList{QStringLiteral("All descriptions will be lost. Continue?")});
        QCOMPARE(prompts.shown().last().question, Prompts::Question::WarningYesNo);
        QVERIFY(rig.box(1)->description().isEmpty());

        prompts.queueFile(rig.path("d.txt"));
        rig.form->LoadfomFile1Click();
        QCOMPARE(rig.box(1)->description(), QStringLiteral("Kotelna"));
        QCOMPARE(rig.box(40)->description(), QString(30, QLatin1Char('x')));

        rig.form->action(QStringLiteral("ShowDescriptions1"))->trigger();
        QCOMPARE(rig.box(1)->Label_ROMCode->text(), QStringLiteral("Kotelna"));
        rig.form->action(QStringLiteral("ShowDescriptions1"))->trigger();
        QVERIFY(!rig.box(1)->descriptionMode());

        // An empty file is not one of ours, and changes nothing.
        QFile empty(rig.path("empty.txt"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        prompts.queueFile(empty.fileName());
        rig.form->LoadfomFile1Click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error), QStringList{QStringLiteral("Error reading file.")});
        QCOMPARE(rig.box(1)->description(), QStringLiteral("Kotelna"));
    }

    void backupWithTheLinkClosedIsOnlyShown()
    {
        ScriptedPrompts prompts;
        Rig rig;
        QList<TChannelRecord> records(40);
        for (int i = 0; i < 40; ++i) {
            records[i].channel = uint8_t(i + 1);
            records[i].rom = {0x28FF, 0, 0, uint16_t(i + 1)};
        }
        QVERIFY(ConfigurationFile::write(rig.path("b.bin"), records, nullptr));
        prompts.queueFile(rig.path("b.bin"));
        rig.form->Import1Click();
        QCOMPARE(rig.box(7)->RomCodeHex(), QStringLiteral("28FF000000000007"));
        QCOMPARE(rig.box(7)->lastRecord().status, uint8_t(254));
        QVERIFY(rig.line->takeWritten().isEmpty());
        QVERIFY(prompts.texts(ScriptedPrompts::Kind::Confirmation).isEmpty());
    }

    // A backup taken before any poll names no channel: nothing is sent, and the window says so
    // instead of reporting a rewrite that never happened.
    void backupRightAfterStartIsNotSent()
    {
        ScriptedPrompts prompts;
        Rig rig;
        prompts.queueFile(rig.path("fresh"));
        rig.form->Export1Click();
        rig.form->Connect1Click();
        rig.line->takeWritten();
        prompts.queueFile(rig.path("fresh.bin"));
        rig.form->Import1Click();
        QVERIFY(prompts.texts(ScriptedPrompts::Kind::Confirmation).isEmpty());
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information),
                 QStringList{QStringLiteral("fresh.bin holds no channel that was ever read: there is nothing to send.")});
        QVERIFY(!rig.form->communicator()->ImportRunning());
    }

    // The restore in the window: a damaged file is refused before anything is written, ROM
    // codes failing their CRC are named in the OK/Cancel question, and a write the gateway
    // refuses ends the restore with what it means for the channels. The progress window cannot
    // be closed meanwhile, and the recorder rests.
    void restoreInTheWindow_data()
    {
        QTest::addColumn<int>("damage");       // 0 none, 1 a record out of place, 2 a ROM code's CRC
        QTest::addColumn<int>("refusedFrame"); // the write answered with exception 04, -1 none
        QTest::addColumn<QString>("message");
        QTest::newRow("record out of place") << 1 << -1
                                             << "Record 5 of the file names channel position 1 where position 5 belongs: the file is damaged and nothing was written.";
        QTest::newRow("every write confirmed") << 0 << -1 << "Serial numbers have been rewritten.";
        QTest::newRow("third ROM code refused")
            << 0 << 5
            << "The gateway refused the ROM code of channel 2 (Modbus exception 4): channel 2 was freed and is now free. "
               "Rewritten: channels 0-1 (2). The channels not reached keep what they held. Running the restore again finishes the job.";
        QTest::newRow("ROM code with a wrong CRC, sent all the same") << 2 << -1 << "Serial numbers have been rewritten.";
    }
    // The restore's question lists the channels whose ROM code the file changes, against what
    // the boxes last read, and how many stay the same; a free position is the same however
    // its words read, a channel not read yet is named apart.
    void restoreQuestionSaysWhichChannelsChange()
    {
        ScriptedPrompts prompts;
        Rig rig;
        const RomCode::Words kept = {0x28FF, 0x15A2, 0x60E2, 0x0536};
        const RomCode::Words other = {0x280D, 0xF0A2, 0x60E2, 0x0522};
        QList<TChannelRecord> records(40);
        for (int i = 0; i < 40; ++i) {
            records[i].channel = uint8_t(i + 1);
            records[i].rom = kept;
        }
        records[9].rom = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}; // channel 10 free in the file...
        records[9].status = 255;
        QVERIFY(ConfigurationFile::write(rig.path("b.bin"), records, nullptr));
        rig.form->Connect1Click();
        rig.form->communicator()->PollTimer().stop();
        for (int c = 1; c <= 39; ++c) { // channel 40 not read yet
            TChannelRecord now = records[c - 1];
            if (c >= 4 && c <= 6)
                now.rom = other;
            if (c == 10)
                now.rom = {0, 0, 0, 0}; // ...and in the gateway, whatever its words
            if (c == 12) {
                now.rom = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
                now.status = 255;
            }
            rig.box(c)->ShowChannel(now);
        }
        prompts.queueFile(rig.path("b.bin"));
        rig.form->Import1Click(); // unanswered: Cancel
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Confirmation),
                 QStringList{"Open configuration file: b.bin. Send to the connected device?\n\nFrom the last read, the ROM codes of "
                             "channels 3-5, 11 change (4 channels); 35 stay the same. Channel 39 was not read yet."});
        QVERIFY(!rig.form->communicator()->ImportRunning());
    }

    void restoreInTheWindow()
    {
        QFETCH(int, damage);
        QFETCH(int, refusedFrame);
        QFETCH(QString, message);
        ScriptedPrompts prompts;
        Rig rig;
        QList<TChannelRecord> records(40);
        for (int i = 0; i < 40; ++i) {
            records[i].channel = uint8_t(i + 1);
            records[i].rom = {0x28FF, 0x15A2, 0x60E2, 0x0536}; // a valid ROM code
        }
        if (damage == 1)
            records[4].channel = 1;
        if (damage == 2)
            records[9].rom[3] ^= 0x0001;
        QVERIFY(ConfigurationFile::write(rig.path("b.bin"), records, nullptr));
        rig.form->Connect1Click();
        TTarvikKomunikator *gw = rig.form->communicator();
        gw->PollTimer().stop();
        rig.line->takeWritten();
        prompts.queueFile(rig.path("b.bin"));
        prompts.queueConfirm(true);
        rig.form->Import1Click();
        if (damage == 1) {
            QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error), QStringList{message});
            QVERIFY(rig.line->takeWritten().isEmpty());
            return;
        }
        const ScriptedPrompts::Shown question = prompts.shown().last();
        QCOMPARE(question.question, Prompts::Question::OkCancel);
        QCOMPARE(question.text, QString(damage == 2 ? "The ROM codes of channel 9 fail their 1-Wire CRC check: the file may be damaged.\n\n" : "")
                                    + QStringLiteral("Open configuration file: b.bin. Send to the connected device?\n\n"
                                                     "No channel was read yet: what the file changes is not known."));
        TForm_ProgressDialog *progress = rig.form->fileCommands()->progressDialog();
        QVERIFY(progress && progress->isVisible());
        QTest::keyClick(progress, Qt::Key_Escape);
        QVERIFY(!progress->close());
        QVERIFY(progress->isVisible());
        QVERIFY(!rig.form->recorderSampling());
        for (int frame = 0; frame < 100 && gw->ImportRunning(); ++frame) {
            const QByteArray sent = rig.line->takeWritten();
            QByteArray answer = uint8_t(sent[1]) == 0x06 ? sent : withCrc(sent.left(6));
            if (frame == refusedFrame)
                answer = withCrc(QByteArray(1, sent[0]) + char(uint8_t(sent[1]) | 0x80) + char(4));
            rig.line->inject(answer);
            gw->importStep();
        }
        QVERIFY(!progress->isVisible());
        QCOMPARE(prompts.texts(refusedFrame < 0 ? ScriptedPrompts::Kind::Information : ScriptedPrompts::Kind::Error), QStringList{message});
        QVERIFY(gw->PollTimer().isActive());
        QVERIFY(rig.form->recorderSampling());
    }
};

QTEST_MAIN(tst_FileCommands)
#include "tst_FileCommands.moc"
