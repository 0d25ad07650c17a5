// The gateway settings dialog: gateway values against the user's unsent edits, the writes
// Save queues, refusals, Restore Defaults and the expert controls.
#include "EditMark.h"
#include "MemoryTransport.h"
#include "ScriptedPrompts.h"
#include "TFrame_PortServiceRegs.h"
#include "TTarvikKomunikator.h"
#include "TdlgTarvikSettings.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QTest>

namespace {

using Block = std::array<uint16_t, PollBlockSize>;
using Edit = std::function<void(TdlgTarvikSettings &)>;

// A service block holding the factory settings, with some registers changed.
Block serviceBlock(std::initializer_list<std::pair<uint16_t, uint16_t>> changes = {})
{
    Block b{};
    for (const ServiceSettings::Setting &s : ServiceSettings::Settings)
        b[size_t(ServiceRegs::offset(s.reg))] = ServiceSettings::defaultValue(s.kind);
    for (const auto &[reg, value] : changes)
        b[size_t(ServiceRegs::offset(reg))] = value;
    return b;
}

struct Rig
{
    MemoryTransport *line = new MemoryTransport;
    TAfComPort port{std::unique_ptr<SerialTransport>(line)};
    TTarvikKomunikator gw{&port};
    QWidget mainWindow;
    TdlgTarvikSettings dlg{&mainWindow};
    Rig(const Block &shown = serviceBlock())
    {
        gw.Open(QStringLiteral("memory"));
        gw.PollTimer().stop();
        dlg.SetCommunicator(&gw);
        dlg.ShowServiceRegisters(shown);
    }
    // Every control the dialog writes, COM 0 first.
    QList<QWidget *> controls() const
    {
        return dlg.Frm_RS485->controls() + dlg.Frm_RS232->controls() + QList<QWidget *>{dlg.ComboBox_PowerLine};
    }
    int marks() const
    {
        const QList<QWidget *> all = controls();
        return int(std::count_if(all.begin(), all.end(), EditMark::isMarked));
    }
};

} // namespace

Q_DECLARE_METATYPE(Edit)

class tst_SettingsDialog : public QObject
{
    Q_OBJECT
private slots:
    void frameMarksAUserChangeWithNoOwnerListening()
    {
        TFrame_PortServiceRegs frame;
        frame.SpEdit_Delay->setValue(50);
        QCOMPARE(EditMark::of(frame.SpEdit_Delay), 1);
    }

    void editedControlKeepsTheUsersValueUntilCancel()
    {
        Rig rig(serviceBlock({{1001, 5}}));
        QComboBox *addr = rig.dlg.Frm_RS485->ComboBox_Addr;
        QCOMPARE(addr->currentText(), QStringLiteral("5"));
        QCOMPARE(rig.marks(), 0);
        QVERIFY(!rig.dlg.iBtn_Save->isEnabled());

        addr->setCurrentIndex(9);
        QVERIFY(rig.dlg.iBtn_Save->isEnabled() && rig.dlg.iBtn_Cancel->isEnabled());
        rig.dlg.ShowServiceRegisters(serviceBlock({{1001, 7}}));
        QCOMPARE(addr->currentText(), QStringLiteral("10"));

        rig.dlg.iBtn_Cancel->click();
        QCOMPARE(addr->currentText(), QStringLiteral("10")); // until the next answer
        QVERIFY(!rig.dlg.iBtn_Save->isEnabled() && !rig.dlg.iBtn_Cancel->isEnabled());
        rig.dlg.ShowServiceRegisters(serviceBlock({{1001, 7}}));
        QCOMPARE(addr->currentText(), QStringLiteral("7"));

        rig.dlg.Frm_RS232->SpEdit_Delay->setValue(20);
        rig.dlg.ClearAll();
        QCOMPARE(addr->currentIndex(), -1);
        QCOMPARE(rig.dlg.Frm_RS232->SpEdit_Delay->value(), 0.0);
        QCOMPARE(rig.marks(), 0);
        QVERIFY(!rig.dlg.iBtn_Save->isEnabled());
    }

    void droppedDownListIsNotChanged()
    {
        Rig rig;
        rig.dlg.ShowExpert();
        QComboBox *power = rig.dlg.ComboBox_PowerLine;
        power->showPopup();
        QVERIFY(QTest::qWaitFor([&] { return power->view()->isVisible(); }));
        rig.dlg.ShowServiceRegisters(serviceBlock({{1055, 4}}));
        QCOMPARE(power->currentIndex(), 1);
        power->hidePopup();
        QVERIFY(QTest::qWaitFor([&] { return !power->view()->isVisible(); }));
        rig.dlg.ShowServiceRegisters(serviceBlock({{1055, 4}}));
        QCOMPARE(power->currentIndex(), 4);
        QCOMPARE(rig.marks(), 0);
    }

    void valuesOutsideAListEmptyTheBoxUntilAValidOneComes()
    {
        Rig rig;
        rig.dlg.ShowServiceRegisters(serviceBlock({{1055, 6}, {1001, 0}, {1002, 97}}));
        QCOMPARE(rig.dlg.ComboBox_PowerLine->currentText(), QString());
        QCOMPARE(rig.dlg.Frm_RS485->ComboBox_Addr->currentText(), QString());
        QCOMPARE(rig.dlg.Frm_RS485->ComboBox_BaudRate->currentText(), QStringLiteral("1.2 kBd"));
        QCOMPARE(rig.marks(), 0);
        // Even the value selected before the empty box shows again.
        rig.dlg.ShowServiceRegisters(serviceBlock());
        QCOMPARE(rig.dlg.ComboBox_PowerLine->currentIndex(), 1);
        QCOMPARE(rig.dlg.Frm_RS485->ComboBox_Addr->currentIndex(), 0);
    }

    void saveQueuesOneWritePerEditedControlInTheFixedOrder_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QList<TWriteEntry>>("writes");
        QTest::newRow("only COM 1 parity") << Edit([](auto &d) { d.Frm_RS232->Cb_Parity->setCurrentIndex(2); })
                                           << QList<TWriteEntry>{{2, 1008}};
        QTest::newRow("COM 0 delay 25.7") << Edit([](auto &d) { d.Frm_RS485->SpEdit_Delay->setValue(25.7); })
                                          << QList<TWriteEntry>{{25, 1053}};
        QTest::newRow("edited last to first") << Edit([](auto &d) {
            d.ComboBox_PowerLine->setCurrentIndex(3);
            d.Frm_RS232->ComboBox_BaudRate->setCurrentIndex(13);
            d.Frm_RS485->SpEdit_Delay->setValue(50);
        }) << QList<TWriteEntry>{{50, 1053}, {1152, 1004}, {3, 1055}};
        QTest::newRow("marked list without a selection") << Edit([](auto &d) {
            TFrame_PortServiceRegs::ClearBox(d.Frm_RS485->ComboBox_BaudRate);
            EditMark::set(d.Frm_RS485->ComboBox_BaudRate, 1);
        }) << QList<TWriteEntry>{{12, 1002}};
    }
    void saveQueuesOneWritePerEditedControlInTheFixedOrder()
    {
        QFETCH(Edit, edit);
        QFETCH(QList<TWriteEntry>, writes);
        ScriptedPrompts prompts;
        Rig rig;
        edit(rig.dlg);
        rig.dlg.iBtn_SaveClick();
        QCOMPARE(rig.gw.WriteQueue(), writes);
        QCOMPARE(rig.marks(), 0);
        QVERIFY(!rig.dlg.iBtn_Save->isEnabled() && rig.dlg.iBtn_RestoreDef->isEnabled());
        QVERIFY(prompts.shown().isEmpty());
        QVERIFY(rig.dlg.Frm_RS485->ComboBox_BaudRate->currentIndex() >= 0);
    }

    void refusedSaveKeepsTheEditsForTheNextSave_data()
    {
        QTest::addColumn<bool>("linkOpen");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("earlier writes still queued") << true << QStringList{"Busy, try again."};
        QTest::newRow("link closed") << false << QStringList{"Communication port is inactive.", "Busy, try again."};
    }
    void refusedSaveKeepsTheEditsForTheNextSave()
    {
        QFETCH(bool, linkOpen);
        QFETCH(QStringList, messages);
        ScriptedPrompts prompts;
        Rig rig;
        rig.gw.QueueWrite(0x05FF, 1010);
        if (!linkOpen)
            rig.gw.Close();
        rig.dlg.Frm_RS232->Cb_Parity->setCurrentIndex(1);
        rig.dlg.iBtn_Save->click();
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Information) + prompts.texts(ScriptedPrompts::Kind::Error), messages);
        QCOMPARE(rig.gw.WriteQueue(), (QList<TWriteEntry>{{0x05FF, 1010}}));
        QCOMPARE(rig.marks(), 1);
        QVERIFY(rig.dlg.iBtn_Save->isEnabled());

        if (!linkOpen)
            rig.gw.Open(QStringLiteral("memory"));
        rig.gw.PollTimerTick(); // sends the queued command
        rig.dlg.iBtn_Save->click();
        QCOMPARE(rig.gw.WriteQueue(), (QList<TWriteEntry>{{1, 1008}}));
        QCOMPARE(rig.marks(), 0);
    }

    void restoreDefaultsMarksChangedControlsAndTheHiddenPowerList()
    {
        Rig rig(serviceBlock({{1001, 5}, {1002, 1152}, {1006, 2}, {1005, 2}, {1053, 100}, {1008, 1}, {1055, 3}}));
        QVERIFY(!rig.dlg.ExpertVisible());
        rig.dlg.iBtn_RestoreDef->click();
        QVERIFY(!rig.dlg.iBtn_RestoreDef->isEnabled());
        QVERIFY(rig.dlg.iBtn_Save->isEnabled() && rig.dlg.iBtn_Cancel->isEnabled());
        rig.dlg.iBtn_Save->click();
        const QList<TWriteEntry> writes = {{1, 1001}, {96, 1002}, {0, 1006}, {1, 1005}, {0, 1053}, {0, 1008}, {1, 1055}};
        QCOMPARE(rig.gw.WriteQueue(), writes);
    }

    void expertControlsShowOnlyThroughShowExpertAndHideOnClose()
    {
        Rig rig;
        rig.mainWindow.setGeometry(100, 80, 700, 500);
        rig.dlg.ShowSettings();
        QVERIFY(rig.dlg.isVisible() && !rig.dlg.isModal());
        QVERIFY(!rig.dlg.ExpertVisible());
        QVERIFY((rig.dlg.frameGeometry().center() - rig.mainWindow.frameGeometry().center()).manhattanLength() < 4);
        rig.dlg.ShowExpert();
        QVERIFY(rig.dlg.ExpertVisible());
        rig.dlg.close();
        QVERIFY(!rig.dlg.isVisible());
        rig.dlg.ShowSettings();
        QVERIFY(!rig.dlg.ExpertVisible());
        QVERIFY(rig.gw.WriteQueue().isEmpty());
    }
};

QTEST_MAIN(tst_SettingsDialog)
#include "tst_SettingsDialog.moc"
