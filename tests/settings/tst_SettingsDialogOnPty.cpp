// The settings dialog against the simulated gateway on a pseudo-terminal: the service block
// reaches the dialog through the poll cycle, Save's writes go over the wire and change the
// gateway, and the dialog then follows the gateway again.
#include "EditMark.h"
#include "FrameBytes.h"
#include "ScriptedPrompts.h"
#include "SimOnPty.h"
#include "TFrame_PortServiceRegs.h"
#include "TTarvikKomunikator.h"
#include "TdlgTarvikSettings.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QTest>

namespace {

constexpr int kWaitMs = 15000;

struct Rig
{
    SimOnPty sim{{.line = {.baudRate = 115200}}, SimOnPty::Population::Empty};
    TAfComPort port;
    TTarvikKomunikator gw{&port};
    TdlgTarvikSettings dlg;
    QList<QByteArray> singleWrites; // function 06 requests as sent

    Rig()
    {
        dlg.SetCommunicator(&gw);
        // What the main window's dispatch does with the service block.
        gw.OnBlockReceived = [this] {
            if (gw.GetBlockAddress() != ServiceRegs::Start)
                return;
            std::array<uint16_t, PollBlockSize> registers{};
            gw.GetRegisters(registers);
            dlg.ShowServiceRegisters(registers);
        };
        gw.OnTxFrame = [this](const TFrameBuffer &f) {
            if (f.Data[1] == 0x06)
                singleWrites.append(QByteArray(reinterpret_cast<const char *>(f.Data), f.Len));
        };
        gw.SetBaudRate(115200);
        gw.Open(sim.link);
    }
};

} // namespace

class tst_SettingsDialogOnPty : public QObject
{
    Q_OBJECT
private slots:
    void savedDelayAndPowerControlReachTheGatewayAndComeBackUnmarked()
    {
        ScriptedPrompts prompts;
        Rig rig;
        QDoubleSpinBox *delay = rig.dlg.Frm_RS485->SpEdit_Delay;
        QComboBox *power = rig.dlg.ComboBox_PowerLine;
        QVERIFY(QTest::qWaitFor([&] { return power->currentIndex() == 1; }, kWaitMs));
        QCOMPARE(rig.dlg.Frm_RS485->ComboBox_BaudRate->currentText(), QStringLiteral("115.2 kBd"));

        rig.dlg.ShowExpert();
        power->setCurrentIndex(3);
        delay->setValue(30);
        rig.dlg.iBtn_Save->click();
        QVERIFY(QTest::qWaitFor([&] { return rig.sim->model().reg(1055) == 3; }, kWaitMs));
        QCOMPARE(rig.sim->model().reg(1053), uint16_t(30));
        // Register 1053 (0x041D) first, then 1055 (0x041F), one function 06 request each.
        QCOMPARE(rig.singleWrites, (QList<QByteArray>{withCrc(hexBytes("01 06 04 1D 00 1E")),
                                                      withCrc(hexBytes("01 06 04 1F 00 03"))}));

        // Unmarked now, so the dialog follows what the gateway holds.
        rig.sim->model().writeSingle(1053, 40);
        QVERIFY2(QTest::qWaitFor([&] { return delay->value() == 40; }, kWaitMs), qPrintable(delay->text()));
        QCOMPARE(power->currentIndex(), 3);
        QCOMPARE(EditMark::of(power) + EditMark::of(delay), 0);
        QVERIFY(prompts.shown().isEmpty());
    }
};

QTEST_MAIN(tst_SettingsDialogOnPty)
#include "tst_SettingsDialogOnPty.moc"
