// Adding, moving and freeing devices from the window, against the simulated gateway on a
// pseudo-terminal: every command goes over the wire and its effect comes back by the poll.
#include "RomCode.h"
#include "ScriptedPrompts.h"
#include "SimOnPty.h"
#include "TFrame_FindNewTab.h"
#include "TFrame_Komunikace.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorBox.h"
#include "TFrame_SensorNewBox.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {

constexpr int kWaitMs = 15000;

struct Rig
{
    SimOnPty gw{{.line = {.baudRate = 115200}}};
    std::unique_ptr<TMainForm> form;
    Rig()
    {
        form = std::make_unique<TMainForm>();
        form->setPersistSettings(false);
        form->preselectPort(gw.link);
        form->connectionPanel()->ComboBox_BaudRate->setCurrentIndex(13);
        form->Connect1Click();
    }
    TFrame_SensorBox *box(int channel) const { return form->sensorBoxes()[channel - 1]; }
};

} // namespace

class tst_DeviceSearchOnPty : public QObject
{
    Q_OBJECT
private slots:
    void findNewThenSaveNewAssignsTheDevice()
    {
        ScriptedPrompts prompts;
        Rig rig;
        TFrame_LineTab *tab = rig.form->lineTab(1);
        TFrame_FindNewTab *panel = rig.form->searchPanel(1);
        // The demo's one line-1 device that no channel holds.
        const QString code = RomCode::toText(GatewayModel::makeRom(0x28, 0x05E260A2F00D));

        tab->SpeedButton_AddNew->click();
        panel->Button_FindNew->click();
        QVERIFY2(QTest::qWaitFor([&] { return panel->Label_NewROMCode->text() == QStringLiteral("New: ") + code; }, kWaitMs),
                 qPrintable(panel->Label_NewROMCode->text()));
        QCOMPARE(panel->Label_Status->text(), QStringLiteral("Operation status: OK (0xFFFF)"));
        QCOMPARE(panel->Label_Command->text(), QStringLiteral("Command: 0x05FF"));

        QVERIFY(rig.box(11)->Label_ROMCode->text().isEmpty()); // a free position
        rig.box(11)->SpeedButton_Edit->click();
        QVERIFY2(QTest::qWaitFor([&] { return rig.box(11)->RomCodeHex() == code; }, kWaitMs),
                 qPrintable(rig.box(11)->RomCodeHex()));
        QCOMPARE(RomCode::toText(rig.gw.rom(11)), code);
        QVERIFY(prompts.shown().isEmpty());
    }

    void findAllThenSaveOfAListedDeviceMovesItAndDeleteFreesIt()
    {
        ScriptedPrompts prompts;
        Rig rig;
        TFrame_FindNewTab *panel = rig.form->searchPanel(2);
        rig.form->lineTab(2)->SpeedButton_AddNew->click();
        panel->Button_FindAll->click();
        const QList<TFrame_SensorNewBox *> &found = panel->boxes();
        QVERIFY(QTest::qWaitFor([&] { return found[6]->SpeedButton_Save->isEnabled(); }, kWaitMs));
        QVERIFY(!found[7]->SpeedButton_Save->isEnabled()); // seven devices on line 2
        const QString moved = found[1]->Label_ROMCode->text();

        prompts.queueInput(QStringLiteral(" 29 ")); // zero-based: channel 30
        found[1]->SpeedButton_Save->click();
        QVERIFY2(QTest::qWaitFor([&] { return rig.box(30)->RomCodeHex() == moved; }, kWaitMs),
                 qPrintable(rig.box(30)->RomCodeHex()));
        QVERIFY(prompts.texts(ScriptedPrompts::Kind::Error).isEmpty());

        // The channel holds the device now: freeing it is asked first.
        prompts.queueConfirm(true);
        rig.box(30)->SpeedButton_Delete->click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Confirmation), QStringList{QStringLiteral("Channel 29 holds %1. Free it?").arg(moved)});
        QVERIFY(QTest::qWaitFor([&] { return rig.box(30)->lastRecord().status == 255; }, kWaitMs));
        QVERIFY(rig.box(30)->Label_ROMCode->text().isEmpty());
    }

    void typedRomCodeLandsInTheGatewaysRegisters()
    {
        ScriptedPrompts prompts;
        Rig rig;
        QVERIFY(QTest::qWaitFor([&] { return !rig.box(21)->Label_ROMCode->text().isEmpty(); }, kWaitMs));
        prompts.queueInput(QStringLiteral("28AABBCCDDEEFF0C"));
        QTest::mouseClick(rig.box(33)->Label_ROMCode, Qt::LeftButton);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::MaskedInput).size(), 1);
        QVERIFY(QTest::qWaitFor([&] { return rig.gw.rom(33) == RomCode::Words{0x28AA, 0xBBCC, 0xDDEE, 0xFF0C}; }, kWaitMs));
        QVERIFY2(QTest::qWaitFor([&] { return rig.box(33)->RomCodeHex() == QStringLiteral("28AABBCCDDEEFF0C"); }, kWaitMs),
                 qPrintable(rig.box(33)->RomCodeHex()));
    }
};

QTEST_MAIN(tst_DeviceSearchOnPty)
#include "tst_DeviceSearchOnPty.moc"
