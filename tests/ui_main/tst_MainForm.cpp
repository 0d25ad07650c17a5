// The main window: connect and disconnect, error handling, traffic panels, captions and
// hints.
#include "FrameBytes.h"
#include "FrameDump.h"
#include "Language.h"
#include "LinkControl.h"
#include "MemoryTransport.h"
#include "ScriptedPrompts.h"
#include "TAfComPort.h"
#include "TAfPortComboBox.h"
#include "TFrame_Komunikace.h"
#include "TMainForm.h"
#include "TestHelpers.h"
#include "TFrame_FindNewTab.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorBox.h"
#include "TFrame_SensorNewBox.h"
#include "TFrame_PortServiceRegs.h"
#include "THelpOpener.h"
#include "TTarvikKomunikator.h"
#include "TdlgTarvikSettings.h"
#include "WindowPlacement.h"

#include <QAction>
#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUrl>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

// A form on an in-memory line whose port is a temporary file, so the port list keeps it.
struct MemoryForm
{
    QTemporaryFile device;
    MemoryTransport *line = new MemoryTransport;
    std::unique_ptr<TMainForm> form;
    MemoryForm()
    {
        clearStoredSettings();
        device.open();
        form = std::make_unique<TMainForm>(std::unique_ptr<SerialTransport>(line));
        form->preselectPort(device.fileName());
    }
};

// Channel 1's record as the poll shows it: holding rom (status OK), or a free position.
TChannelRecord channelOne(const QString &rom)
{
    TChannelRecord r;
    r.channel = 1;
    if (rom.isEmpty()) {
        r.rom = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
        r.status = 255;
    } else {
        RomCode::ParseRomCode(rom, r.rom);
    }
    return r;
}

RomCode::Words words(const QString &rom)
{
    RomCode::Words w{};
    RomCode::ParseRomCode(rom, w);
    return w;
}

} // namespace

class tst_MainForm : public QObject
{
    Q_OBJECT
private slots:
    void windowCarriesTheProgramsCaption()
    {
        MemoryForm m;
        QCOMPARE(m.form->windowTitle(), QStringLiteral("1-WIRE-TARVIK Tool V1.09 (OBRIX)"));
        // The offscreen screen (800 x 600) is too small for the designed window.
        QVERIFY(m.form->startsMaximized());
        QVERIFY(m.form->action(QStringLiteral("Connect1"))->isEnabled());
        QVERIFY(!m.form->action(QStringLiteral("Disconnect1"))->isEnabled());
        QCOMPARE(m.form->action(QStringLiteral("Connect1"))->shortcut(), QKeySequence(Qt::Key_F3));
        QCOMPARE(m.form->action(QStringLiteral("Disconnect1"))->shortcut(), QKeySequence(Qt::Key_F4));
    }

    void portThatCannotBeOpenedShowsTheErrorAndStaysDisconnected()
    {
        ScriptedPrompts prompts;
        MemoryForm m;
        m.line->setOpenResult(SerialTransport::OpenResult::Busy);
        m.form->Connect1Click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error),
                 QStringList{QStringLiteral("Can't open device %1 (the port is in use by another program) - AfComPort1 ")
                                 .arg(m.device.fileName())});
        QVERIFY(!m.form->connectionPanel()->Connected());
        QVERIFY(m.form->action(QStringLiteral("Connect1"))->isEnabled());
        QVERIFY(!m.form->action(QStringLiteral("Disconnect1"))->isEnabled());
        QVERIFY(!m.form->communicator()->Active());
    }

    void connectAndDisconnectFollowTheBox()
    {
        ScriptedPrompts prompts;
        MemoryForm m;
        m.form->Connect1Click();
        QVERIFY(m.form->communicator()->Active());
        QVERIFY(!m.form->action(QStringLiteral("Connect1"))->isEnabled());
        QVERIFY(m.form->action(QStringLiteral("Disconnect1"))->isEnabled());
        QVERIFY(m.form->action(QStringLiteral("Startlogging1"))->isEnabled());
        QVERIFY(!m.form->connectionPanel()->AfPortComboBox1->isEnabled());
        m.form->Disconnect1Click();
        QVERIFY(!m.form->communicator()->Active());
        QVERIFY(m.form->action(QStringLiteral("Connect1"))->isEnabled());
        QVERIFY(!m.form->action(QStringLiteral("Startlogging1"))->isEnabled());
        QVERIFY(prompts.shown().isEmpty());
    }

    void listChangesReachTheLink()
    {
        MemoryForm m;
        m.form->Connect1Click();
        TFrame_Komunikace *panel = m.form->connectionPanel();
        panel->ComboBox_Addr->setCurrentIndex(4);
        emit panel->ComboBox_Addr->activated(4);
        QCOMPARE(m.form->communicator()->SlaveAddress(), uint8_t(5));
        panel->ComboBox_Addr->setCurrentIndex(0);
        emit panel->ComboBox_Addr->activated(0);
        QCOMPARE(m.form->communicator()->SlaveAddress(), uint8_t(1));
        panel->ComboBox_BaudRate->setCurrentIndex(7);
        emit panel->ComboBox_BaudRate->activated(7);
        QCOMPARE(m.line->settings().baudRate, 19200);
        panel->Cb_Parity->setCurrentIndex(1);
        emit panel->Cb_Parity->activated(1);
        QCOMPARE(m.line->settings().parity, TParity::paOdd);
        panel->Cb_Stopbit->setCurrentIndex(1);
        emit panel->Cb_Stopbit->activated(1);
        QCOMPARE(m.line->settings().stopBits, TStopBits::sbTwo);
        panel->Cb_Stopbit->setCurrentIndex(0);
        emit panel->Cb_Stopbit->activated(0);
        QCOMPARE(m.line->settings().stopBits, TStopBits::sbOne);
    }

    void counterReportsReachTheConnectionPanel()
    {
        MemoryForm m;
        m.form->Connect1Click();
        TFrame_Komunikace *panel = m.form->connectionPanel();
        m.form->communicator()->ReadBlock(0);
        QCOMPARE(panel->findChild<QLabel *>(QStringLiteral("Label_Tx"))->text(), QStringLiteral("Tx = 1"));
        m.form->communicator()->ReadBlock(0); // the first one went unanswered
        QCOMPARE(panel->findChild<QLabel *>(QStringLiteral("Label_Error"))->text(), QStringLiteral("Err = 1"));
        QVERIFY(panel->TimeoutShown());
        QVERIFY(m.form->communicator()->Active()); // without USB the link stays up
    }

    void seventhErrorOverUsbClosesTheLink()
    {
        ScriptedPrompts prompts;
        MemoryForm m;
        TFrame_Komunikace *panel = m.form->connectionPanel();
        panel->CheckBox_USB->setChecked(true);
        panel->CheckBox_USBClick();
        m.form->Connect1Click();
        QCOMPARE(m.line->settings().baudRate, 115200);
        for (int i = 0; i < 7; ++i) {
            QVERIFY(m.form->communicator()->Active());
            m.form->communicator()->ReadBlock(0);
        }
        m.form->communicator()->ReadBlock(0); // the seventh request without an answer
        QVERIFY(!panel->Connected());
        QVERIFY(!m.form->communicator()->Active());
        QCOMPARE(panel->findChild<QLabel *>(QStringLiteral("Label_Timeout"))->text(), QStringLiteral("Error - Disconnected"));
        QVERIFY(m.form->action(QStringLiteral("Connect1"))->isEnabled());
        QVERIFY(prompts.shown().isEmpty());
    }

    void lostLinkKeepsTheValuesDimmedAndSaysSoOnce()
    {
        ScriptedPrompts prompts;
        MemoryForm m;
        TMainForm &form = *m.form;
        auto *panel0 = form.findChild<QLabel *>(QStringLiteral("StatusBarPanel0"));
        form.Connect1Click();
        std::array<uint16_t, PollBlockSize> block{};
        block.fill(0);
        block[0] = 0x28FF; // channel 1: a thermometer at 1234.5 degrees
        block[4] = 12345;
        block[9] = 0;
        form.DispatchBlock(block, 0);
        QVERIFY(form.lineTab(1)->isLive());

        m.line->loseDevice(QStringLiteral("gone"));
        // Connected stays ticked while the port is tried again.
        QVERIFY(form.connectionPanel()->Connected());
        QVERIFY(form.linkControl()->retrying());
        QVERIFY(!form.communicator()->Active());
        QVERIFY(!form.lineTab(1)->isLive());
        QVERIFY(!form.lineTab(2)->isLive());
        QCOMPARE(form.sensorBoxes().first()->Label_Value1->text(), QStringLiteral("1234.5 °C"));
        QVERIFY2(panel0->text().startsWith(QStringLiteral("Port %1 lost at ").arg(m.device.fileName())),
                 qPrintable(panel0->text()));
        QVERIFY(prompts.shown().isEmpty());

        // A hint passes over it and the note comes back; a second loss report says nothing new.
        form.ApplicationEvents1Hint(QStringLiteral("Some hint"));
        QCOMPARE(panel0->text(), QStringLiteral("Some hint"));
        form.ApplicationEvents1Hint(QString());
        QCOMPARE(panel0->text(), form.linkNotice());
        const QString notice = form.linkNotice();
        form.ApplicationEvents1Exception(QStringLiteral("Read data error - AfComPort1 "));
        QCOMPARE(form.linkNotice(), notice);

        // The next try opens it again: live look, a note that says so.
        form.linkControl()->retry();
        QVERIFY(form.communicator()->Active());
        QVERIFY(!form.linkControl()->retrying());
        QVERIFY(form.lineTab(1)->isLive());
        QVERIFY2(panel0->text().startsWith(QStringLiteral("Reconnected to %1 at ").arg(m.device.fileName())), qPrintable(panel0->text()));
        QVERIFY(prompts.shown().isEmpty());
    }

    void manualDisconnectKeepsTheValuesDimmed()
    {
        MemoryForm m;
        m.form->Connect1Click();
        std::array<uint16_t, PollBlockSize> block{};
        block[0] = 0x28FF;
        block[4] = 215;
        m.form->DispatchBlock(block, 0);
        m.form->Disconnect1Click();
        QVERIFY(!m.form->lineTab(1)->isLive());
        QCOMPARE(m.form->sensorBoxes().first()->Label_Value1->text(), QStringLiteral("21.5 °C"));
        QVERIFY(m.form->linkNotice().isEmpty());
    }

    void placementCentresOnlyWhenTheWholeWindowFits_data()
    {
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<QRect>("work");
        QTest::addColumn<bool>("maximised");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("equal") << QSize(1219, 720) << QRect(0, 0, 1219, 720) << true << QPoint();
        QTest::newRow("one wider only") << QSize(1219, 720) << QRect(0, 0, 1220, 720) << true << QPoint();
        QTest::newRow("one taller only") << QSize(1219, 720) << QRect(0, 0, 1219, 721) << true << QPoint();
        QTest::newRow("one larger") << QSize(1219, 720) << QRect(0, 0, 1220, 721) << false << QPoint(0, 0);
        QTest::newRow("full HD, odd gap") << QSize(1219, 720) << QRect(0, 0, 1920, 1040) << false << QPoint(350, 160);
        QTest::newRow("panel on the left") << QSize(1219, 720) << QRect(64, 0, 1856, 1080) << false << QPoint(382, 180);
    }
    void placementCentresOnlyWhenTheWholeWindowFits()
    {
        QFETCH(QSize, outer);
        QFETCH(QRect, work);
        QFETCH(bool, maximised);
        QFETCH(QPoint, topLeft);
        const WindowPlacement p = WindowPlacement::place(outer, work);
        QCOMPARE(p.maximised, maximised);
        if (!maximised)
            QCOMPARE(p.topLeft, topLeft);
    }

    void secondStartKeepsAMaximisedWindowMaximised()
    {
        MemoryForm m;
        m.form->showMaximized();
        m.form->showMinimized();
        QVERIFY(m.form->isMinimized());
        m.form->activateFromAnotherInstance();
        QVERIFY(!m.form->isMinimized());
        QVERIFY(m.form->isMaximized());
    }

    void refusedSpeedIsExplainedWithThePort()
    {
        ScriptedPrompts prompts;
        MemoryForm m;
        m.form->Connect1Click();
        m.line->refuseBaudRate(1200);
        TFrame_Komunikace *panel = m.form->connectionPanel();
        panel->ComboBox_BaudRate->setCurrentIndex(0);
        emit panel->ComboBox_BaudRate->activated(0);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error),
                 QStringList{QStringLiteral("Error setting parameters from DCB. %1 probably does not suport the selected baudrate.")
                                 .arg(m.device.fileName())});
        QVERIFY(m.form->communicator()->Active());
    }

    void errorHandlerTreatsTwoTextsSpecially()
    {
        ScriptedPrompts prompts;
        MemoryForm m;
        m.form->Connect1Click();
        m.form->ApplicationEvents1Exception(QStringLiteral("Error setting parameters from DCB"));
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error).value(0),
                 QStringLiteral("Error setting parameters from DCB. %1 probably does not suport the selected baudrate.")
                     .arg(m.device.fileName()));
        prompts.clear();

        m.form->ApplicationEvents1Exception(QStringLiteral("Read data error - AfComPort1 "));
        QVERIFY(prompts.shown().isEmpty());
        // A read failure is a lost port: closed, and tried again while Connected stays ticked.
        QVERIFY(!m.form->communicator()->Active());
        QVERIFY(m.form->connectionPanel()->Connected());
        QVERIFY(m.form->linkControl()->retrying());
        QVERIFY(m.form->action(QStringLiteral("Disconnect1"))->isEnabled());

        m.form->ApplicationEvents1Exception(QStringLiteral("Read data error"));
        m.form->ApplicationEvents1Exception(QStringLiteral("Something else"));
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error),
                 (QStringList{QStringLiteral("Read data error"), QStringLiteral("Something else")}));
    }

    void trafficPanelsDumpTheFrames()
    {
        const uint8_t bytes[13] = {1, 3, 0, 0, 0, 100, 68, 33, 9, 10, 11, 12, 255};
        QCOMPARE(FrameDump::bytes(bytes, 13),
                 QStringLiteral("\r1; 3; 0; 0; 0; 100; 68; 33; 9; 10; \r11; 12; 255; "));
        MemoryForm m;
        m.form->Connect1Click();
        m.form->communicator()->ReadBlock(0);
        auto *tx = m.form->findChild<QLabel *>(QStringLiteral("StaticText_Tx"));
        QVERIFY(tx);
        QVERIFY(tx->isHidden());
        QVERIFY2(tx->text().startsWith(QStringLiteral("Tx Data:\r1; 3; 0; 0; 0; 100; 68; 33; \r")), qPrintable(tx->text()));
    }

    void captionsSwitchBetweenEnglishAndCzech()
    {
        MemoryForm m;
        QCOMPARE(m.form->action(QStringLiteral("File1"))->text(), QStringLiteral("&File"));
        m.form->setLanguage(Language::Czech);
        QCOMPARE(m.form->action(QStringLiteral("File1"))->text(), QStringLiteral("&Soubor"));
        QCOMPARE(m.form->action(QStringLiteral("Import1"))->text(), QStringLiteral("&Otevrít"));
        QCOMPARE(m.form->action(QStringLiteral("English1"))->text(), QStringLiteral("&Anglictina (English)"));
        QCOMPARE(m.form->action(QStringLiteral("FindGateway1"))->text(), QStringLiteral("&Vyhledat bránu..."));
        QVERIFY(m.form->action(QStringLiteral("Czech1"))->isChecked());
        m.form->setLanguage(Language::English);
        QCOMPARE(m.form->action(QStringLiteral("StopLogging1"))->text(), QStringLiteral("Sto&p Logging"));
        QCOMPARE(m.form->action(QStringLiteral("Portsetti1"))->text(), QStringLiteral("&Port  settings..."));
        QCOMPARE(m.form->action(QStringLiteral("FindGateway1"))->text(), QStringLiteral("&Find gateway..."));
    }

    void longHintGoesToTheStatusBar()
    {
        MemoryForm m;
        QStatusTipEvent tip(QStringLiteral("Use for backing up the gateway configurations."));
        QApplication::sendEvent(m.form.get(), &tip);
        auto *panel0 = m.form->findChild<QLabel *>(QStringLiteral("StatusBarPanel0"));
        QCOMPARE(panel0->text(), QStringLiteral("Use for backing up the gateway configurations."));
        QCOMPARE(m.form->action(QStringLiteral("Export1"))->toolTip(), QStringLiteral("Save to file"));
    }

    void addNewOpensTheLinesPanelOverTheOtherLine()
    {
        ScriptedPrompts prompts;
        MemoryForm m;
        TMainForm &form = *m.form;
        form.show();
        TFrame_LineTab *tab = form.lineTab(1);
        TFrame_FindNewTab *panel = form.searchPanel(1);
        QVERIFY(panel->isHidden());
        tab->SpeedButton_AddNew->click();
        QVERIFY(panel->isVisible());
        QVERIFY(form.searchPanel(2)->isHidden());
        QCOMPARE(panel->geometry(), form.lineTab(2)->geometry()); // line 1 stays in view
        QVERIFY(!tab->SpeedButton_AddNew->isEnabled());
        QVERIFY(!tab->boxes().first()->SpeedButton_Edit->isHidden());

        // A search sends its word and clears the panel; with the link closed the write queue
        // says so, and the panel is cleared all the same.
        panel->Label_Command->setText(QStringLiteral("Command: 0x0000"));
        panel->Button_FindAll->click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information), QStringList{QStringLiteral("Communication port is inactive.")});
        QVERIFY(panel->Label_Command->text().isEmpty());
        form.Connect1Click();
        form.communicator()->PollTimer().stop();
        panel->Button_FindNew->click();
        QCOMPARE(form.communicator()->WriteQueue(), (QList<TWriteEntry>{{0x05FF, 1010}}));

        panel->Button_Close->click();
        QVERIFY(panel->isHidden());
        QVERIFY(tab->SpeedButton_AddNew->isEnabled());
        QVERIFY(tab->boxes().first()->SpeedButton_Edit->isHidden());
    }

    void savingAListedDeviceAsksForTheTarget()
    {
        ScriptedPrompts prompts;
        MemoryForm m;
        TMainForm &form = *m.form;
        form.Connect1Click();
        form.communicator()->PollTimer().stop();
        TFrame_SensorNewBox *box = form.newBoxes()[22];
        box->ShowFoundDevice(23, {0x2800, 0, 0, 5}, 2);
        prompts.queueInput(QStringLiteral("30"));
        box->SpeedButton_Save->click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Input),
                 QStringList{QStringLiteral("Save device with index: 2|Enter target position (channel number 20-39): ")});
        QCOMPARE(form.communicator()->WriteQueue(), (QList<TWriteEntry>{{0x821E, 1020}}));
    }

    // A code typed for channel 1 (Ch0): a free channel starts from an empty field, an assigned
    // one from its code; a code failing its 1-Wire CRC is written only after Yes to a warning
    // whose default is No, and No goes back to the entry with the code; all F (no device)
    // and all 0 keep their meaning and are written as typed.
    void romCodeEntryStartsEmptyAndQuestionsABadCrc_data()
    {
        QTest::addColumn<QString>("held");       // "" a free position
        QTest::addColumn<QStringList>("typed");  // the entries, one per time the entry opens
        QTest::addColumn<QString>("answers");    // y / n to the CRC questions, in order
        QTest::addColumn<QString>("written");    // the code sent, "" none
        const QString bad = QStringLiteral("28FF15A260E20537");
        const QString good = QStringLiteral("28FF15A260E20536");
        const QString question = QStringLiteral("ROM code 28FF15A260E20537 fails its CRC check: a typing error? Write it anyway?");
        QTest::newRow("valid code into a free channel") << "" << QStringList{good} << "" << good;
        QTest::newRow("failing code, No, mended") << "" << QStringList{bad, good} << "n" << good;
        QTest::newRow("failing code, Yes") << "" << QStringList{bad} << "y" << bad;
        QTest::newRow("failing code, No, cancelled") << "" << QStringList{bad} << "n" << "";
        QTest::newRow("all F") << "" << QStringList{"FFFFFFFFFFFFFFFF"} << "" << "FFFFFFFFFFFFFFFF";
        QTest::newRow("all 0") << "" << QStringList{"0000000000000000"} << "" << "0000000000000000";
        QTest::newRow("assigned channel, cancelled") << "28FF15E260160574" << QStringList{} << "" << "";
    }
    void romCodeEntryStartsEmptyAndQuestionsABadCrc()
    {
        QFETCH(QString, held);
        QFETCH(QStringList, typed);
        QFETCH(QString, answers);
        QFETCH(QString, written);
        ScriptedPrompts prompts;
        MemoryForm m;
        TMainForm &form = *m.form;
        form.Connect1Click();
        form.communicator()->PollTimer().stop();
        m.line->takeWritten();
        TFrame_SensorBox *box = form.sensorBoxes()[0];
        box->ShowChannel(channelOne(held));
        for (const QString &t : typed)
            prompts.queueInput(t);
        for (QChar a : answers)
            prompts.queueConfirm(a == QLatin1Char('y'));
        QTest::mouseClick(box->Label_ROMCode, Qt::LeftButton);

        const QList<ScriptedPrompts::Shown> entries = [&] {
            QList<ScriptedPrompts::Shown> list;
            for (const ScriptedPrompts::Shown &s : prompts.shown())
                if (s.kind == ScriptedPrompts::Kind::MaskedInput)
                    list.append(s);
            return list;
        }();
        QCOMPARE(entries.first().value, held);
        for (qsizetype i = 1; i < entries.size(); ++i)
            QCOMPARE(entries[i].value, typed[i - 1]); // asked again with what was typed
        QStringList questions;
        for (const ScriptedPrompts::Shown &s : prompts.shown())
            if (s.kind == ScriptedPrompts::Kind::Confirmation) {
                QCOMPARE(s.question, Prompts::Question::WarningNoByDefault);
                questions.append(s.text);
            }
        QCOMPARE(questions, QStringList(answers.size(), QStringLiteral("ROM code 28FF15A260E20537 fails its CRC check: a typing error? Write it anyway?")));
        const QByteArray sent = m.line->takeWritten();
        if (written.isEmpty()) {
            QVERIFY(sent.isEmpty());
            return;
        }
        QCOMPARE(sent, withCrc(hexBytes("01 10 00 00 00 04 08") + QByteArray::fromHex(written.toLatin1())));
    }

    // Freeing channel 1 (Ch0) or storing a found device into it asks first while it holds
    // another device, naming the channel and that device, with No as the default answer.
    void assignedChannelIsFreedOrReplacedOnlyAfterYes_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("held");   // "" a free position
        QTest::addColumn<QString>("found");  // the device Find New or the list shows
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("question"); // "" none
        QTest::addColumn<int>("word");         // the command queued for register 1010; -1 none
        const QString held = QStringLiteral("28FF15E260160574");
        const QString found = QStringLiteral("280DF0A260E20522");
        const QString free = QStringLiteral("Channel 0 holds 28FF15E260160574. Free it?");
        const QString replace = QStringLiteral("Channel 0 holds 28FF15E260160574. Replace it with 280DF0A260E20522?");
        QTest::newRow("delete, No") << "delete" << held << "" << false << free << -1;
        QTest::newRow("delete, Yes") << "delete" << held << "" << true << free << 0x0F00;
        QTest::newRow("delete of a free channel") << "delete" << "" << "" << false << "" << 0x0F00;
        QTest::newRow("save new over another, No") << "save new" << held << found << false << replace << -1;
        QTest::newRow("save new over another, Yes") << "save new" << held << found << true << replace << 0x0900;
        QTest::newRow("save new of the device it holds") << "save new" << held << held << false << "" << 0x0900;
        QTest::newRow("save new into a free channel") << "save new" << "" << found << false << "" << 0x0900;
        QTest::newRow("save found over another, No") << "save found" << held << found << false << replace << -1;
        QTest::newRow("save found over another, Yes") << "save found" << held << found << true << replace << 0x8200;
        QTest::newRow("save found into a free channel") << "save found" << "" << found << false << "" << 0x8200;
    }
    void assignedChannelIsFreedOrReplacedOnlyAfterYes()
    {
        QFETCH(QString, action);
        QFETCH(QString, held);
        QFETCH(QString, found);
        QFETCH(bool, yes);
        QFETCH(QString, question);
        QFETCH(int, word);
        ScriptedPrompts prompts;
        MemoryForm m;
        TMainForm &form = *m.form;
        form.Connect1Click();
        form.communicator()->PollTimer().stop();
        TFrame_SensorBox *box = form.sensorBoxes()[0];
        box->ShowChannel(channelOne(held));
        prompts.queueConfirm(yes);
        if (action == QLatin1String("delete")) {
            box->SpeedButton_Delete->click();
        } else if (action == QLatin1String("save new")) {
            std::array<uint16_t, PollBlockSize> service{};
            const RomCode::Words w = words(found);
            std::copy(w.begin(), w.end(), service.begin() + 12); // line 1's New field
            form.searchPanel(1)->ShowServiceBlock(service);
            box->SpeedButton_Edit->click();
        } else {
            form.newBoxes()[0]->ShowFoundDevice(1, words(found), 2);
            prompts.queueInput(QStringLiteral("0"));
            form.newBoxes()[0]->SpeedButton_Save->click();
        }
        const QList<ScriptedPrompts::Shown> &shown = prompts.shown();
        QStringList questions;
        for (const ScriptedPrompts::Shown &s : shown)
            if (s.kind == ScriptedPrompts::Kind::Confirmation) {
                QCOMPARE(s.question, Prompts::Question::WarningNoByDefault);
                questions.append(s.text);
            }
        QCOMPARE(questions, question.isEmpty() ? QStringList() : QStringList{question});
        const QList<TWriteEntry> expected = word < 0 ? QList<TWriteEntry>() : QList<TWriteEntry>{{uint16_t(word), 1010}};
        QCOMPARE(form.communicator()->WriteQueue(), expected);
    }

    void romCodeClickOpensTheEntryOnlyInRomCodeMode()
    {
        ScriptedPrompts prompts;
        MemoryForm m;
        TMainForm &form = *m.form;
        form.Connect1Click();
        TFrame_SensorBox *box = form.sensorBoxes()[4];
        QTest::mouseClick(box->Label_ROMCode, Qt::LeftButton);
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(prompts.shown().first().kind, ScriptedPrompts::Kind::MaskedInput);
        QVERIFY(prompts.shown().first().text.startsWith(QStringLiteral("ROM Code - Channel 4|")));
        prompts.clear();
        box->SpeedButton_DescrSwitch->click();
        QTest::mouseClick(box->Label_ROMCode, Qt::LeftButton);
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(prompts.shown().first().kind, ScriptedPrompts::Kind::Input); // the description
    }

    void f1OpensTheToolsManualAndTheLanguageSwitches()
    {
        ScriptedPrompts prompts;
        MemoryForm m;
        QTemporaryDir folder;
        THelpOpener help(folder.filePath(QStringLiteral("1-WIRE-TARVIK Tool")));
        QStringList opened;
        help.setUrlOpener([&](const QUrl &url) {
            opened.append(url.toLocalFile());
            return true;
        });
        m.form->setHelpOpener(&help);
        m.form->action(QStringLiteral("ApplicationManual"))->trigger();
        m.form->action(QStringLiteral("ApplicationManual"))->trigger();
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened.first().contains(QStringLiteral("Morvendi_AppManualEN")));
        QCOMPARE(m.form->action(QStringLiteral("ApplicationManual"))->shortcut(), QKeySequence(Qt::Key_F1));
        m.form->action(QStringLiteral("Czech1"))->trigger();
        QCOMPARE(m.form->action(QStringLiteral("Communication1"))->text(), QStringLiteral("&Komunikace"));
        m.form->action(QStringLiteral("English1"))->trigger();
        QCOMPARE(m.form->action(QStringLiteral("Communication1"))->text(), QStringLiteral("&Communication"));
    }

    void settingsWindowOpensOnlyOnAnOpenLink()
    {
        ScriptedPrompts prompts;
        MemoryForm m;
        TdlgTarvikSettings *dialog = m.form->settingsDialog();
        m.form->action(QStringLiteral("Portsetti1"))->trigger();
        m.form->action(QStringLiteral("Expertsettings1"))->trigger();
        m.form->findChild<QPushButton *>(QStringLiteral("SpdBtn_TarvikSettings"))->click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information),
                 QStringList(3, QStringLiteral("Communication port is inactive.")));
        QVERIFY(!dialog->isVisible());

        m.form->Connect1Click();
        m.form->findChild<QPushButton *>(QStringLiteral("SpdBtn_TarvikSettings"))->click();
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->ExpertVisible());
        dialog->close();
        m.form->action(QStringLiteral("Expertsettings1"))->trigger();
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->ExpertVisible());

        // The service block reaches it, and a new connect empties it.
        std::array<uint16_t, PollBlockSize> service{};
        service[2] = 192; // COM0 at 19.2 kBd
        service[55] = 3;
        m.form->DispatchBlock(service, 1000);
        QCOMPARE(dialog->Frm_RS485->ComboBox_BaudRate->currentText(), QStringLiteral("19.2 kBd"));
        QCOMPARE(dialog->ComboBox_PowerLine->currentIndex(), 3);
        m.form->Disconnect1Click();
        m.form->Connect1Click();
        QCOMPARE(dialog->Frm_RS485->ComboBox_BaudRate->currentIndex(), -1);
    }
};

QTEST_MAIN(tst_MainForm)
#include "tst_MainForm.moc"
