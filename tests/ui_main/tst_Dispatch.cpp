// Polled blocks reaching the displays: channel records, line states, versions and the
// register panel.
#include "FrameBytes.h"
#include "Language.h"
#include "MemoryTransport.h"
#include "StaleDisplay.h"
#include "TFrame_FindNewTab.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorBox.h"
#include "TFrame_SensorNewBox.h"
#include "TMainForm.h"
#include "TestHelpers.h"
#include "TTarvikKomunikator.h"

#include <QLabel>
#include <QToolButton>
#include <QSettings>
#include <QTest>

namespace {

using Block = std::array<uint16_t, 100>;

// A channel block whose channels all hold a thermometer at 20.0 °C with status 0.
Block channelBlock(int firstChannel)
{
    Block b{};
    for (int k = 0; k < 10; ++k) {
        b[size_t(10 * k)] = 0x2800;
        b[size_t(10 * k + 3)] = uint16_t(firstChannel + k);
        b[size_t(10 * k + 4)] = 200;
    }
    return b;
}

struct Rig
{
    MemoryTransport *line = new MemoryTransport;
    std::unique_ptr<TMainForm> form;
    Rig()
    {
        clearStoredSettings();
        form = std::make_unique<TMainForm>(std::unique_ptr<SerialTransport>(line));
        form->setPersistSettings(false);
    }
    QString caption(int lineNo) const { return form->lineTab(lineNo)->Label_Caption->text(); }
    TFrame_SensorBox *box(int channel) const { return form->sensorBoxes()[channel - 1]; }
};

} // namespace

class tst_Dispatch : public QObject
{
    Q_OBJECT
private slots:
    void shortCircuitOnChannel11MarksLine1Only()
    {
        Rig rig;
        Block b = channelBlock(11);
        b[9] = 2;
        rig.form->DispatchBlock(b, 100);
        QCOMPARE(rig.box(11)->lastRecord().status, uint8_t(2));
        QCOMPARE(rig.box(11)->Label_Error->text(), QStringLiteral("Short circuit"));
        QCOMPARE(rig.caption(1), QStringLiteral("LINE 1 - Short circuit"));
        QCOMPARE(rig.caption(2), QStringLiteral("LINE 2 - OK"));
        QCOMPARE(rig.box(12)->Label_Value1->text(), QStringLiteral("20.0 °C"));
        QCOMPARE(rig.box(12)->RomCodeHex(), QStringLiteral("280000000000000C"));
    }

    void laterChannelDecidesTheLineState()
    {
        Rig rig;
        Block first = channelBlock(1);
        first[size_t(2 * 10 + 9)] = 1; // channel 3: line in high
        rig.form->DispatchBlock(first, 0);
        QCOMPARE(rig.caption(1), QStringLiteral("LINE 1 - Line in high"));
        Block second = channelBlock(11);
        second[size_t(4 * 10 + 9)] = 2; // channel 15: short circuit
        rig.form->DispatchBlock(second, 100);
        QCOMPARE(rig.caption(1), QStringLiteral("LINE 1 - Short circuit"));
    }

    void channelBlocksFillTheirOwnBoxes()
    {
        Rig rig;
        rig.form->DispatchBlock(channelBlock(31), 300);
        QCOMPARE(rig.box(31)->lastRecord().channel, uint8_t(31));
        QCOMPARE(rig.box(40)->Label_ROMCode->text(), QStringLiteral("2800000000000028"));
        QCOMPARE(rig.box(30)->lastRecord().channel, uint8_t(0));
        QVERIFY(rig.box(21)->Label_ROMCode->text().isEmpty());
    }

    void versionsInBothLanguages()
    {
        Rig rig;
        Block s{};
        s[0] = 109;
        s[9] = 100;
        rig.form->DispatchBlock(s, 1000);
        QCOMPARE(rig.form->firmwareVersionText(), QStringLiteral("Gateway FW version: V1.09"));
        QCOMPARE(rig.form->hardwareVersionText(), QStringLiteral("Gateway HW version: V1.00"));
        rig.form->setLanguage(Language::Czech);
        rig.form->DispatchBlock(s, 1000);
        QCOMPARE(rig.form->firmwareVersionText(), QStringLiteral("Verze FW: V1.09"));
        QCOMPARE(rig.form->hardwareVersionText(), QStringLiteral("Verze HW: V1.00"));
        rig.form->setLanguage(Language::English);
    }

    void answerFromTheLineReachesTheBoxesAndTheRegisterPanel()
    {
        Rig rig;
        rig.form->Connect1Click();
        TTarvikKomunikator *gw = rig.form->communicator();
        gw->PollTimer().stop();
        gw->RequestBlock(3);
        gw->PollTimerTick();
        const Block b = channelBlock(31);
        rig.line->inject(readAnswer(1, QList<uint16_t>(b.begin(), b.end())));
        QCOMPARE(rig.box(35)->Label_Value1->text(), QString());
        // Passed on as the next request goes out, nothing having followed it.
        gw->PollTimerTick();
        QCOMPARE(rig.box(35)->Label_Value1->text(), QStringLiteral("20.0 °C"));
        auto *panel = rig.form->findChild<QLabel *>(QStringLiteral("StaticText_RxRegisters"));
        QVERIFY(panel->text().startsWith(QStringLiteral("Starting Address: 300\r0 - 10240\t25 - 0\t50 - 10240\t75 - 0\r")));
    }

    void foundListsFillTheirPanelsBoxes()
    {
        Rig rig;
        Block list{};
        list[0] = 0x28FF; // record 1: a device with index 9
        list[4] = 9;
        list[5 * 19] = 0x1000; // record 20
        list[5 * 19 + 3] = 0x0001;
        list[5 * 19 + 4] = 2;
        rig.form->DispatchBlock(list, 1200);
        const QList<TFrame_SensorNewBox *> &boxes = rig.form->newBoxes();
        QCOMPARE(boxes.size(), 40);
        QCOMPARE(boxes[20]->Label_ROMCode->text(), QStringLiteral("28FF000000000000"));
        QCOMPARE(boxes[20]->index(), 9);
        QCOMPARE(boxes[39]->Label_ROMCode->text(), QStringLiteral("1000000000000001"));
        QVERIFY(boxes[0]->Label_ROMCode->text().isEmpty()); // line 1's panel untouched
        QVERIFY(!boxes[21]->SpeedButton_Save->isEnabled()); // an empty record
        rig.form->DispatchBlock(list, 1100);
        QCOMPARE(boxes[0]->Label_ROMCode->text(), QStringLiteral("28FF000000000000"));
    }

    void serviceBlockReachesBothPanels()
    {
        Rig rig;
        Block s{};
        s[10] = 0x05FF;
        s[11] = 0xFFFF;
        s[12] = 0x2800;
        s[15] = 0x0042;
        s[20] = 0x0F14;
        s[21] = 0xEEE1;
        rig.form->DispatchBlock(s, 1000);
        TFrame_FindNewTab *one = rig.form->searchPanel(1);
        TFrame_FindNewTab *two = rig.form->searchPanel(2);
        QCOMPARE(one->Label_NewROMCode->text(), QStringLiteral("New: 2800000000000042"));
        QCOMPARE(one->Label_Status->text(), QStringLiteral("Operation status: OK (0xFFFF)"));
        QCOMPARE(two->Label_Command->text(), QStringLiteral("Command: 0x0F14"));
        QCOMPARE(two->Label_Status->text(), QStringLiteral("Operation status: Channel number out of range (0xEEE1)"));
    }

    void connectingClearsTheDisplay()
    {
        Rig rig;
        rig.form->DispatchBlock(channelBlock(1), 0);
        Block s{};
        s[0] = 109;
        s[10] = 0x05FF;
        rig.form->DispatchBlock(s, 1000);
        Block list{};
        list[0] = 0x28FF;
        rig.form->DispatchBlock(list, 1100);
        rig.form->Connect1Click();
        QVERIFY(rig.box(1)->Label_ROMCode->text().isEmpty());
        QCOMPARE(rig.caption(1), QStringLiteral("LINE 1"));
        QVERIFY(rig.form->firmwareVersionText().isEmpty());
        QVERIFY(rig.form->searchPanel(1)->Label_Command->text().isEmpty());
        QVERIFY(rig.form->newBoxes().first()->Label_ROMCode->text().isEmpty());
    }

    // The gateway falls silent: 10 s after its last answer both lines look old, values kept,
    // and say since when; the next answer brings the live look back; a closed port leaves
    // them old.
    void silentGatewayDimsBothLinesUntilItAnswers()
    {
        Rig rig;
        qint64 now = 0;
        StaleDisplay *stale = rig.form->staleDisplay();
        stale->setClock([&] { return Staleness::Moment{now, QTime(21, 8, 3).addMSecs(int(now))}; });
        rig.form->Connect1Click();
        TTarvikKomunikator *gw = rig.form->communicator();
        gw->PollTimer().stop();
        gw->RequestBlock(0);
        gw->PollTimerTick();
        const auto answerAt = [&](qint64 at, int firstChannel) {
            const Block b = channelBlock(firstChannel);
            rig.line->inject(readAnswer(1, QList<uint16_t>(b.begin(), b.end())));
            now = at;
            gw->PollTimerTick(); // passed on as the next request goes out
        };
        const QColor neutral = QPalette().color(QPalette::Window), ok(215, 255, 215);
        answerAt(1000, 1);
        QVERIFY(stale->timer().isActive());
        now = 11000;
        stale->check();
        QCOMPARE(rig.caption(1), QStringLiteral("LINE 1 - no answer since 21:08:04"));
        QCOMPARE(rig.caption(2), QStringLiteral("LINE 2 - no answer since 21:08:04"));
        QCOMPARE(rig.form->lineTab(1)->tabColour(), neutral);
        QCOMPARE(rig.box(1)->boxColour(), neutral);
        QCOMPARE(rig.box(1)->Label_Value1->text(), QStringLiteral("20.0 °C"));

        answerAt(30000, 11);
        QCOMPARE(rig.caption(1), QStringLiteral("LINE 1 - OK"));
        QCOMPARE(rig.caption(2), QStringLiteral("LINE 2 - OK"));
        QCOMPARE(rig.box(1)->boxColour(), ok);
        QCOMPARE(rig.box(11)->boxColour(), ok);

        rig.form->Disconnect1Click();
        QCOMPARE(rig.caption(1), QStringLiteral("LINE 1 - not connected, last answer 21:08:33"));
        QCOMPARE(rig.box(11)->boxColour(), neutral);
        QCOMPARE(rig.box(11)->Label_Value1->text(), QStringLiteral("20.0 °C"));
    }
};

QTEST_MAIN(tst_Dispatch)
#include "tst_Dispatch.moc"
