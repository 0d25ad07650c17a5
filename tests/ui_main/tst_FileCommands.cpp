// The File and Descriptions commands of the main window: the questions around the file
// dialogs, and a backup shown or restored.
#include "ChannelNumbering.h"
#include "ConfigurationFile.h"
#include "FileCommands.h"
#include "MemoryTransport.h"
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

    void backupRightAfterStartRestoresNothingButCountsEveryStep()
    {
        ScriptedPrompts prompts;
        Rig rig;
        prompts.queueFile(rig.path("fresh"));
        rig.form->Export1Click();
        QList<TChannelRecord> records;
        QCOMPARE(ConfigurationFile::read(rig.path("fresh.bin"), records), ConfigurationFile::ReadResult::Ok);
        QCOMPARE(records, QList<TChannelRecord>(40));

        rig.form->Connect1Click();
        TTarvikKomunikator *gw = rig.form->communicator();
        rig.line->takeWritten();
        prompts.queueFile(rig.path("fresh.bin"));
        prompts.queueConfirm(true);
        rig.form->Import1Click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Confirmation),
                 QStringList{QStringLiteral("Open configuration file: fresh.bin. Send to the connected device?")});
        TForm_ProgressDialog *progress = rig.form->fileCommands()->progressDialog();
        QVERIFY(progress && progress->isVisible());
        QCOMPARE(progress->windowTitle(), QStringLiteral("1-WIRE-TARVIK Tool - Import from file"));
        QStringList labels;
        for (int i = 0; i < 200 && gw->ImportRunning(); ++i) {
            gw->importStep();
            if (!labels.contains(progress->Label_Progress->text()))
                labels.append(progress->Label_Progress->text());
        }
        QVERIFY(rig.line->takeWritten().isEmpty());
        QCOMPARE(labels.first(), QStringLiteral("Rewriting channel configuration... (Channel 0)"));
        QVERIFY(labels.contains(QStringLiteral("Rewriting channel configuration... (Channel 39)")));
        QCOMPARE(progress->Gauge1->value(), 40);
        QVERIFY(!progress->isVisible());
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information), QStringList{QStringLiteral("Serial numbers have been rewritten.")});
        QVERIFY(gw->PollTimer().isActive());
    }
};

QTEST_MAIN(tst_FileCommands)
#include "tst_FileCommands.moc"
