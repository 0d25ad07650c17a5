// The programmer window's flows with scripted answers, and the main window handing its link
// over and taking it back.
#include "ConfigurationFile.h"
#include "DescriptionFile.h"
#include "FirmwareUpdate.h"
#include "MemoryTransport.h"
#include "ScriptedPrompts.h"
#include "TAfComPort.h"
#include "TForm_Programmer.h"
#include "TFrame_Komunikace.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"
#include "TestHelpers.h"
#include "TextFileCodec.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

namespace {

struct Window
{
    QTemporaryDir dir;
    MemoryTransport *line = new MemoryTransport;
    TForm_Programmer form{std::unique_ptr<SerialTransport>(line)};
    Window() { form.update().Timer().stop(); }
    QString file(const char *name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(QLatin1String(name));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }
    void connect() { form.takeLink(QStringLiteral("memory"), 115200, 1); }
};

} // namespace

class tst_Programmer : public QObject
{
    Q_OBJECT
private slots:
    void openFileMessages()
    {
        ScriptedPrompts prompts;
        Window w;
        const QString path = w.file("a.bin", QByteArray("\x01\xAB", 2));
        w.form.loadFile(path);
        QCOMPARE(w.form.Memo_Path->toPlainText(), QStringLiteral("Open file:\n") + path);
        QCOMPARE(w.form.Memo_FromFile->toPlainText(), QStringLiteral("01 AB "));

        // The same file again: asked, and No keeps the image even though the file changed.
        w.file("a.bin", QByteArray(7, 0));
        prompts.queueConfirm(false);
        w.form.loadFile(path);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Confirmation),
                 QStringList{path + QStringLiteral(" is already open. Do you want to reload it?")});
        QCOMPARE(w.form.update().Image().ImageLength(), 2);

        w.form.loadFile(w.dir.filePath(QStringLiteral("missing.bin")));
        w.form.loadFile(w.file("empty.bin", QByteArray()));
        const QString big = w.file("big.bin", QByteArray(FirmwareImage::Capacity + 1, 0));
        w.form.loadFile(big);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information), QStringList{QStringLiteral("File does not exist.")});
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Warning),
                 (QStringList{w.dir.filePath(QStringLiteral("empty.bin")) + QStringLiteral(" is empty."),
                              big + QStringLiteral(" is too large for a firmware image: it has 200003 bytes, the limit is 200002 bytes.")}));
        QCOMPARE(w.form.update().Image().ImageLength(), 2);
        QCOMPARE(w.form.LoadedFileName(), path);
    }

    // The tool's own files and text are never taken for a program: each is named for what it
    // is, and the image loaded before stays.
    void foreignFilesAreRefusedForWhatTheyAre_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("kind");
        QList<TChannelRecord> records(40);
        QList<TDescriptionRecord> channels(40);
        QTest::newRow("configuration backup") << ConfigurationFile::encode(records)
                                              << "a configuration backup of the gateway's channels";
        QTest::newRow("descriptions file")
            << TextFileCodec::encode(DescriptionFile::lines(channels, QDateTime(QDate(2024, 3, 1), QTime(8, 0))))
            << "a channel descriptions file";
        QTest::newRow("data log") << QByteArray("Application:,\"1-WIRE-TARVIK Tool V1.09 (OBRIX)\",,\r\n\"File info:\",\"Gateway log file\"\r\n")
                                  << "a data log of this tool";
        QTest::newRow("Intel HEX") << QByteArray(":10010000214601360121470136007EFE09D2190140\r\n:00000001FF\r\n")
                                   << "a text file in Intel HEX format (the gateway takes the binary image)";
        QTest::newRow("text") << QByteArray("Firmware 1.10 release notes\n\tfixed: everything\n") << "a text file";
        QTest::newRow("Czech text in Windows-1250") << QByteArray("Kotelna \x9A" "achta\r\n") << "a text file";
    }
    void foreignFilesAreRefusedForWhatTheyAre()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, kind);
        ScriptedPrompts prompts;
        Window w;
        const QString image = w.file("gateway.bin", QByteArray("\x00\x12\xFF", 3));
        w.form.loadFile(image);
        const QString path = w.file("other.bin", bytes);
        w.form.loadFile(path);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Warning), QStringList{path + " is " + kind + ", not a firmware image."});
        QCOMPARE(w.form.LoadedFileName(), image);
        QCOMPARE(w.form.update().Image().ImageLength(), 3);
        QCOMPARE(w.form.Memo_FromFile->toPlainText(), QStringLiteral("00 12 FF "));
    }

    // The question says what is about to be written and how long it takes at 300 ms a frame:
    // 31 erase frames, then a data frame for each 192 bytes begun and one more.
    void programQuestionNamesTheFileItsSizeFramesAndTime_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("question");
        QTest::newRow("64 KiB") << 65536 << "Program the device memory with fw.bin (65,536 bytes, 373 frames, about 1 min 52 s)?";
        QTest::newRow("one byte") << 1 << "Program the device memory with fw.bin (1 byte, 32 frames, about 10 s)?";
        QTest::newRow("whole chunks") << 1920 << "Program the device memory with fw.bin (1,920 bytes, 42 frames, about 13 s)?";
        QTest::newRow("largest") << FirmwareImage::Capacity
                                 << "Program the device memory with fw.bin (200,002 bytes, 1,073 frames, about 5 min 22 s)?";
    }
    void programQuestionNamesTheFileItsSizeFramesAndTime()
    {
        QFETCH(int, size);
        QFETCH(QString, question);
        ScriptedPrompts prompts;
        Window w;
        w.connect();
        w.form.loadFile(w.file("fw.bin", QByteArray(size, '\0')));
        w.form.Button_DelProgMem->click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Confirmation), QStringList{question});
        QVERIFY(!w.form.Busy()); // unanswered: No
    }

    void programMemoryNeedsAPortAFileAndAYes()
    {
        ScriptedPrompts prompts;
        Window w;
        w.form.Button_DelProgMem->click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information), QStringList{QStringLiteral("Communication port is inactive.")});
        w.connect();
        QVERIFY(w.form.CheckBox1->isChecked());
        w.form.Button_DelProgMem->click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error), QStringList{QStringLiteral("No file selected.")});
        w.form.loadFile(w.file("a.bin", QByteArray(10, 1)));
        prompts.queueConfirm(false);
        w.form.Button_DelProgMem->click();
        QVERIFY(!w.form.Busy());
        prompts.queueConfirm(true);
        w.form.Button_DelProgMem->click();
        QVERIFY(w.form.Busy());
        QVERIFY(w.form.Button_Abort->isEnabled());
        QVERIFY(!w.form.Button_OpenFile->isEnabled());
        QCOMPARE(w.form.update().Step(), FirmwareUpdate::Erasing);
    }

    void closingWhileProgrammingAsksAndNoKeepsItRunning()
    {
        ScriptedPrompts prompts;
        Window w;
        w.connect();
        w.form.loadFile(w.file("a.bin", QByteArray(10, 1)));
        prompts.queueConfirm(true);
        w.form.Button_DelProgMem->click();
        w.form.show();
        prompts.queueConfirm(false);
        w.form.Button_Close->click();
        QVERIFY(w.form.isVisible());
        QVERIFY(w.form.Busy());
        QCOMPARE(w.form.update().Step(), FirmwareUpdate::Erasing);
        prompts.queueConfirm(true);
        w.form.Button_Close->click();
        QVERIFY(!w.form.isVisible());
        QCOMPARE(w.form.result(), int(QDialog::Accepted)); // the port was connected
        QVERIFY(!w.form.port().isActive());
        QCOMPARE(w.form.update().Step(), FirmwareUpdate::Idle);
    }

    void refusedHandoverLeavesTheMenuItemUsable()
    {
        ScriptedPrompts prompts;
        clearStoredSettings();
        auto *line = new MemoryTransport;
        line->setOpenResult(SerialTransport::OpenResult::Busy);
        TMainForm main{std::unique_ptr<SerialTransport>(line)};
        main.setPersistSettings(false);
        main.preselectPort(QStringLiteral("COM3"));
        main.action(QStringLiteral("UpgradeSW1"))->trigger();
        QVERIFY(prompts.texts(ScriptedPrompts::Kind::Information).contains(QStringLiteral("Communication port is inactive.")));
        QVERIFY(main.action(QStringLiteral("UpgradeSW1"))->isEnabled());
        QVERIFY(!main.programmer());
    }

    void linkIsHandedOverAndTakenBack()
    {
        ScriptedPrompts prompts;
        clearStoredSettings();
        QTemporaryFile device;
        QVERIFY(device.open());
        auto *line = new MemoryTransport;
        MemoryTransport *programmerLine = nullptr;
        TMainForm main{std::unique_ptr<SerialTransport>(line)};
        main.setPersistSettings(false);
        main.setProgrammerTransportFactory([&] {
            programmerLine = new MemoryTransport;
            return std::unique_ptr<SerialTransport>(programmerLine);
        });
        main.preselectPort(device.fileName());
        main.show();
        main.action(QStringLiteral("UpgradeSW1"))->trigger();
        TForm_Programmer *programmer = main.programmer();
        QVERIFY(programmer);
        QVERIFY(programmer->isVisible());
        QVERIFY(main.isHidden());
        QVERIFY(!main.communicator()->Active()); // the main link let go of the port
        QVERIFY(programmer->port().isActive());
        QCOMPARE(programmerLine->portName(), device.fileName());
        QCOMPARE(programmerLine->settings(), (LineSettings{9600, TParity::paNone, TStopBits::sbOne}));
        QCOMPARE(programmer->windowTitle(), QStringLiteral("1-WIRE-TARVIK Tool - Upgrade SW"));
        QVERIFY(!main.action(QStringLiteral("UpgradeSW1"))->isEnabled());
        QVERIFY(!main.connectionPanel()->Timer_Update.isActive());

        programmer->Button_Close->click(); // connected: the link comes back
        QVERIFY(main.isVisible());
        QVERIFY(main.communicator()->Active());
        QVERIFY(main.connectionPanel()->Connected());
        QVERIFY(main.action(QStringLiteral("UpgradeSW1"))->isEnabled());
        QVERIFY(main.connectionPanel()->Timer_Update.isActive());

        // Closed with the window's port disconnected: the main link stays down.
        main.action(QStringLiteral("UpgradeSW1"))->trigger();
        programmer->CheckBox1->setChecked(false);
        programmer->Button_Close->click();
        QVERIFY(!main.communicator()->Active());
        QVERIFY(main.action(QStringLiteral("Connect1"))->isEnabled());
        QVERIFY(!main.action(QStringLiteral("Disconnect1"))->isEnabled());
        QVERIFY(prompts.shown().isEmpty());
    }
};

QTEST_MAIN(tst_Programmer)
#include "tst_Programmer.moc"
