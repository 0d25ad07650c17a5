// The main window on a real serial port (a pseudo-terminal) to the simulated gateway:
// connecting polls, and a port that vanishes while connected and comes back.
#include "LinkControl.h"
#include "ScriptedPrompts.h"
#include "SimOnPty.h"
#include "TAfPortComboBox.h"
#include "TFrame_LineTab.h"
#include "TFrame_Komunikace.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"
#include "TestHelpers.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
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

    // The adapter pulled and put back: Connected stays ticked while the same port is tried
    // every 2 s, and polling resumes by itself.
    void anUnpluggedPortIsTriedAgainAndPollsOnceBack()
    {
        ScriptedPrompts prompts;
        GatewayForm g;
        TMainForm &form = *g.form;
        QSignalSpy connectChanges(form.connectionPanel(), &TFrame_Komunikace::connectClicked);
        form.Connect1Click();
        QVERIFY(QTest::qWaitFor([&] { return g.received() >= 1; }, 5000));

        g.gw.unplug(); // the device goes away under the open port
        QVERIFY(QTest::qWaitFor([&] { return !form.communicator()->Active(); }, 3000));
        QVERIFY(form.linkControl()->retrying());
        QVERIFY(form.connectionPanel()->Connected());
        QCOMPARE(connectChanges.size(), 1);
        QVERIFY(form.action(QStringLiteral("Disconnect1"))->isEnabled());
        QVERIFY(!form.lineTab(1)->isLive());
        QVERIFY2(form.linkNotice().startsWith(QStringLiteral("Port %1 lost at ").arg(g.gw.link)), qPrintable(form.linkNotice()));
        QVERIFY(form.linkNotice().endsWith(QStringLiteral(": trying again every 2 s")));
        // Tries that fail say nothing more.
        QTest::qWait(2 * LinkControl::RetryMs + 200);
        QVERIFY(!form.communicator()->Active());
        QVERIFY(!form.recorderSampling());
        QCOMPARE(g.received(), 0); // each try starts the counters afresh

        g.gw.plugIn(); // plugged in again, at the same path
        QElapsedTimer back;
        back.start();
        QVERIFY(QTest::qWaitFor([&] { return form.communicator()->Active() && g.received() >= 1; }, 4000));
        qInfo("polling again %lld ms after the port came back", back.elapsed());
        QVERIFY(!form.linkControl()->retrying());
        QVERIFY2(form.linkNotice().startsWith(QStringLiteral("Reconnected to %1 at ").arg(g.gw.link)), qPrintable(form.linkNotice()));
        QVERIFY(form.lineTab(1)->isLive());
        QCOMPARE(connectChanges.size(), 1);
        QVERIFY(prompts.shown().isEmpty());
    }

    // Clearing Connected ends the tries; the port list then shows the port as missing, and a
    // click connects once it is back.
    void clearingConnectedStopsTheTries()
    {
        ScriptedPrompts prompts;
        GatewayForm g;
        TMainForm &form = *g.form;
        form.Connect1Click();
        QVERIFY(QTest::qWaitFor([&] { return g.received() >= 1; }, 5000));
        g.gw.unplug();
        QVERIFY(QTest::qWaitFor([&] { return form.linkControl()->retrying(); }, 3000));

        form.connectionPanel()->CheckBox_Connect->click();
        QVERIFY(!form.linkControl()->retrying());
        QVERIFY(!form.connectionPanel()->Connected());
        QVERIFY(form.action(QStringLiteral("Connect1"))->isEnabled());
        QVERIFY2(form.linkNotice().startsWith(QStringLiteral("The link on %1 was lost at ").arg(g.gw.link)), qPrintable(form.linkNotice()));

        // The port list's refresh while unplugged keeps the port, marked as not present.
        TAfPortComboBox *ports = form.connectionPanel()->AfPortComboBox1;
        form.connectionPanel()->Timer_UpdateTimer();
        QCOMPARE(ports->portName(), g.gw.link);
        QVERIFY(!ports->portPresent());

        g.gw.plugIn(); // back, but nobody tries it
        QTest::qWait(LinkControl::RetryMs + 500);
        QVERIFY(!form.communicator()->Active());
        QCOMPARE(g.gw->stats().frames, 0);
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
