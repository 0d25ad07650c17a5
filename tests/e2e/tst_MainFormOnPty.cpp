// The main window on a real serial port (a pseudo-terminal) to the simulated gateway:
// connecting polls, and a port that vanishes while connected.
#include "ScriptedPrompts.h"
#include "SimOnPty.h"
#include "TAfPortComboBox.h"
#include "TFrame_LineTab.h"
#include "TFrame_Komunikace.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"
#include "TestHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalSpy>
#include <QTest>

namespace {

// A form whose port is linked to a simulated gateway on a pseudo-terminal, at 19.2 kBd.
struct GatewayForm
{
    SimOnPty gw{{.line = {.baudRate = 19200}}};
    std::unique_ptr<TMainForm> form;
    GatewayForm()
    {
        clearStoredSettings();
        form = std::make_unique<TMainForm>();
        form->setPersistSettings(false);
        form->preselectPort(gw.link);
        form->connectionPanel()->ComboBox_BaudRate->setCurrentIndex(7);
    }
    int received() const { return form->communicator()->Counters().Rx(); }
};

} // namespace

class tst_MainFormOnPty : public QObject
{
    Q_OBJECT
private slots:
    void connectingToTheSimulatedGatewayPolls()
    {
        ScriptedPrompts prompts;
        GatewayForm g;
        g.form->Connect1Click();
        QVERIFY(QTest::qWaitFor([&] { return g.received() >= 2; }, 5000));
        QCOMPARE(g.form->communicator()->Counters().Err(), 0);
        QVERIFY(g.gw.sim->stats().answered >= 2);
        QVERIFY(prompts.shown().isEmpty());
    }

    void unpluggedPortClearsConnectedOnceAndReconnects()
    {
        ScriptedPrompts prompts;
        GatewayForm g;
        TMainForm &form = *g.form;
        QSignalSpy connectChanges(form.connectionPanel(), &TFrame_Komunikace::connectClicked);
        form.Connect1Click();
        QVERIFY(QTest::qWaitFor([&] { return g.received() >= 1; }, 5000));

        g.gw.unplug(); // the device goes away under the open port
        QVERIFY(QTest::qWaitFor([&] { return !form.connectionPanel()->Connected(); }, 3000));
        QTest::qWait(300);
        QCOMPARE(connectChanges.size(), 2); // on, then off once
        QVERIFY(!form.communicator()->Active());
        QVERIFY(form.action(QStringLiteral("Connect1"))->isEnabled());
        QVERIFY(prompts.shown().isEmpty());
        QVERIFY(!form.lineTab(1)->isLive());
        QVERIFY(form.linkNotice().contains(g.gw.link));

        // The port list's refresh while unplugged keeps the port, marked as not present.
        TAfPortComboBox *ports = form.connectionPanel()->AfPortComboBox1;
        form.connectionPanel()->Timer_UpdateTimer();
        QCOMPARE(ports->portName(), g.gw.link);
        QVERIFY(!ports->portPresent());

        g.gw.plugIn(); // plugged in again
        form.connectionPanel()->Timer_UpdateTimer();
        QCOMPARE(ports->portName(), g.gw.link);
        QVERIFY(ports->portPresent());
        form.connectionPanel()->CheckBox_Connect->click();
        QVERIFY(form.communicator()->Active());
        QVERIFY(QTest::qWaitFor([&] { return g.received() >= 1; }, 5000));
        QVERIFY(prompts.shown().isEmpty());
        QVERIFY(form.lineTab(1)->isLive());
    }
};

QTEST_MAIN(tst_MainFormOnPty)
#include "tst_MainFormOnPty.moc"
