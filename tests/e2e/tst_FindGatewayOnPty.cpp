// Communication > Find gateway in the main window, against simulated gateways on a
// pseudo-terminal: a gateway at another speed and address ends connected with the panel set to
// its own, of several the user picks one, Cancel leaves the link as it was, nothing found is
// said; and the hint that a connected gateway gives nothing but timeouts.
#include "FindGatewayDialog.h"
#include "Freshness.h"
#include "GatewayBus.h"
#include "GatewaySearch.h"
#include "PtyGatewayLine.h"
#include "ScriptedPrompts.h"
#include "SilenceHint.h"
#include "SimOnPty.h"
#include "TFrame_Komunikace.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"
#include "TestHelpers.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

constexpr int kBaud9600 = 5;   // speed list index of 9.6 kBd
constexpr int kBaud19200 = 7;  // 19.2 kBd
constexpr int kBaud38400 = 9;  // 38.4 kBd
constexpr int kBaud115200 = 13;

// A window whose panel names the port at link, set to speed index baud and address.
std::unique_ptr<TMainForm> formOn(const QString &link, int baud, int address)
{
    clearStoredSettings();
    auto form = std::make_unique<TMainForm>();
    form->setPersistSettings(false);
    form->preselectPort(link);
    form->connectionPanel()->selectSilently(baud, address - 1, 0, 0);
    return form;
}

int received(const TMainForm &form)
{
    return form.communicator()->Counters().Rx();
}

// What status-bar panel 0 shows.
QString statusBar(const TMainForm &form)
{
    return form.findChild<QLabel *>(QStringLiteral("StatusBarPanel0"))->text();
}

bool connectedAt(const TMainForm &form, int baud, int address)
{
    const TFrame_Komunikace *panel = form.connectionPanel();
    return panel->Connected() && form.communicator()->Active() && panel->ComboBox_BaudRate->currentIndex() == baud
           && panel->ComboBox_Addr->currentIndex() == address - 1 && form.communicator()->UserBaudRate() == TTarvikKomunikator::BaudAt(baud) * 100
           && form.communicator()->SlaveAddress() == address;
}

} // namespace

class tst_FindGatewayOnPty : public QObject
{
    Q_OBJECT
private slots:
    void aGatewayAtAnotherSpeedAndAddressIsFoundAndConnected()
    {
        ScriptedPrompts prompts;
        SimOnPty gw{{.address = 1, .line = {.baudRate = 38400}, .paced = false, .clock = false}};
        auto form = formOn(gw.link, kBaud9600, 5);
        form->action(QStringLiteral("FindGateway1"))->trigger();
        GatewaySearch *search = form->gatewaySearch();
        QVERIFY(search->running());
        FindGatewayDialog *dialog = search->dialog();
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->connectButton()->isEnabled());
        int triedAtFind = -1;
        connect(search->finder(), &GatewayFinder::found, this, [&] { triedAtFind = search->finder()->tried(); });
        // The panel's address at every speed first, then address 1: 9.6, 19.2, 115.2, 38.4 kBd.
        QVERIFY(QTest::qWaitFor([&] { return dialog->connectButton()->isEnabled(); }, 20000));
        QVERIFY2(dialog->foundLabel()->text().contains(QStringLiteral("Address 1 at 38.4 kBd: gateway, FW V1.09")),
                 qPrintable(dialog->foundLabel()->text()));
        QCOMPARE(triedAtFind, 16 + 4);
        dialog->connectButton()->click();
        QVERIFY(QTest::qWaitFor([&] { return received(*form) >= 2; }, 5000));
        QVERIFY(connectedAt(*form, kBaud38400, 1));
        QVERIFY(!search->running());
        QVERIFY(!dialog->isVisible());
        QVERIFY(form->action(QStringLiteral("Disconnect1"))->isEnabled());
        QCOMPARE(form->communicator()->Counters().Err(), 0);
        QVERIFY(prompts.shown().isEmpty());
    }

    // Two gateways on one line: the search goes on at their speed, and the user picks.
    void ofSeveralGatewaysTheUserPicksOne()
    {
        ScriptedPrompts prompts;
        prompts.queueChoice(1);
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("bus"));
        auto line = std::make_unique<PtyGatewayLine>();
        line->link().linkTo(link);
        GatewayBus bus(std::move(line));
        for (int address : {1, 2}) {
            bus.addGateway({.address = uint8_t(address), .line = {.baudRate = 115200}, .paced = false, .clock = false})
                ->model()
                .loadDemoPopulation(address);
        }
        auto form = formOn(link, kBaud9600, 1);
        form->action(QStringLiteral("FindGateway1"))->trigger();
        FindGatewayDialog *dialog = form->gatewaySearch()->dialog();
        QVERIFY(QTest::qWaitFor([&] { return form->gatewaySearch()->finder()->finds().size() == 2; }, 20000));
        QVERIFY2(dialog->statusLabel()->text().startsWith(QStringLiteral("Looking for more gateways at 115.2 kBd")),
                 qPrintable(dialog->statusLabel()->text()));
        dialog->connectButton()->click();
        QVERIFY(QTest::qWaitFor([&] { return received(*form) >= 2; }, 5000));
        const QStringList asked = prompts.texts(ScriptedPrompts::Kind::Choice);
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].contains(QStringLiteral("2 gateways answered")), qPrintable(asked[0]));
        QCOMPARE(prompts.shown().last().value,
                 QStringLiteral("Address 1 at 115.2 kBd, FW V1.09\nAddress 2 at 115.2 kBd, FW V1.09"));
        QVERIFY(connectedAt(*form, kBaud115200, 2));
        // The USB box follows the lists: 115.2 kBd at address 2 is not the USB preset.
        QVERIFY(!form->connectionPanel()->CheckBox_USB->isChecked());
    }

    // The search needs the port: an open link is closed for it, and Cancel opens it again as
    // it was; nothing more goes to the port from the search.
    void cancelStopsTheSearchAndLeavesTheLinkAsItWas()
    {
        ScriptedPrompts prompts;
        SimOnPty gw{{.address = 1, .line = {.baudRate = 19200}, .paced = false, .clock = false}};
        auto form = formOn(gw.link, kBaud19200, 1);
        form->Connect1Click();
        QVERIFY(QTest::qWaitFor([&] { return received(*form) >= 1; }, 5000));
        form->connectionPanel()->selectSilently(kBaud9600, 4, 0, 0);

        int probes = 0; // requests for the version register alone: the search's
        gw->OnRequest = [&probes](const QByteArray &frame, qint64) {
            if (frame.size() == 8 && frame[1] == 0x03 && frame[4] == 0 && frame[5] == 1)
                ++probes;
        };
        form->FindGateway1Click();
        GatewaySearch *search = form->gatewaySearch();
        QVERIFY(search->running());
        QVERIFY(!form->connectionPanel()->Connected());
        QVERIFY(QTest::qWaitFor([&] { return search->finder()->tried() >= 2; }, 5000));
        search->dialog()->cancelButton()->click();
        QVERIFY(!search->running());
        QCOMPARE(search->finder()->outcome(), GatewayFinder::Outcome::Cancelled);
        // Connected again, with the settings the panel shows now.
        QVERIFY(QTest::qWaitFor([&] { return form->connectionPanel()->Connected(); }, 2000));
        QVERIFY(connectedAt(*form, kBaud9600, 5));
        QVERIFY(!search->dialog()->isVisible());
        QTest::qWait(200); // a probe already on its way arrives
        const int probesAfterCancel = probes;
        QVERIFY(probesAfterCancel >= 2 && probesAfterCancel <= 4);
        QTest::qWait(1000);
        QCOMPARE(probes, probesAfterCancel);
        QVERIFY(prompts.shown().isEmpty());
    }

    void closingTheWindowEndsASearchQuietly()
    {
        ScriptedPrompts prompts;
        SimOnPty gw{{.address = 1, .line = {.baudRate = 19200}, .paced = false, .clock = false}};
        auto form = formOn(gw.link, kBaud19200, 1);
        form->Connect1Click();
        form->FindGateway1Click();
        QVERIFY(form->gatewaySearch()->running());
        form->close();
        QVERIFY(!form->gatewaySearch()->running());
        QVERIFY(!form->port()->isActive());
        QTest::qWait(300);
        QVERIFY(!form->port()->isActive());
        QVERIFY(prompts.shown().isEmpty());
    }

    void nothingFoundIsSaidAndNothingConnects()
    {
        ScriptedPrompts prompts;
        SimOnPty gw{{.address = 9, .line = {.baudRate = 19200}, .paced = false, .clock = false}};
        auto form = formOn(gw.link, kBaud9600, 1);
        form->gatewaySearch()->setOptionsAdjust([](GatewayFinder::Options &o) { o.addresses = {1, 2}; });
        form->FindGateway1Click();
        QVERIFY(QTest::qWaitFor([&] { return !form->gatewaySearch()->running(); }, 30000));
        QVERIFY(QTest::qWaitFor([&] { return !prompts.shown().isEmpty(); }, 2000));
        const QStringList said = prompts.texts(ScriptedPrompts::Kind::Information);
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].startsWith(QStringLiteral("No gateway answered on %1 (32 speed and address pairs tried").arg(gw.link)),
                 qPrintable(said[0]));
        QVERIFY(!form->connectionPanel()->Connected());
        QVERIFY(!form->port()->isActive());
        QCOMPARE(form->connectionPanel()->ComboBox_BaudRate->currentIndex(), kBaud9600);
    }

    // Connected at the right speed but another address: only timeouts, and after a while of
    // them the status bar points to Find gateway; the right address brings answers and the
    // hint goes.
    void onlyTimeoutsBringTheHintAndAnswersTakeItAway()
    {
        ScriptedPrompts prompts;
        SimOnPty gw{{.address = 1, .line = {.baudRate = 19200}, .paced = false, .clock = false}};
        auto form = formOn(gw.link, kBaud19200, 3);
        QCOMPARE(form->silenceHint()->timer().interval(), Freshness::StaleAfterMs);
        form->silenceHint()->timer().setInterval(1500); // the test waits less than the window does
        form->Connect1Click();
        QVERIFY(!statusBar(*form).contains(QStringLiteral("No answer")));
        QVERIFY(QTest::qWaitFor([&] { return form->silenceHint()->shown(); }, 6000));
        QCOMPARE(statusBar(*form), QStringLiteral("No answer: wrong speed or address? Communication > Find gateway"));
        QCOMPARE(received(*form), 0);

        // The user picks address 1, the gateway's.
        form->connectionPanel()->ComboBox_Addr->setCurrentIndex(0);
        emit form->connectionPanel()->ComboBox_Addr->activated(0);
        QVERIFY(QTest::qWaitFor([&] { return received(*form) >= 1; }, 5000));
        QVERIFY(!form->silenceHint()->shown());
        QVERIFY(!statusBar(*form).contains(QStringLiteral("No answer")));
        // Answering, it does not come back.
        QTest::qWait(2500);
        QVERIFY(!form->silenceHint()->shown());
        form->Disconnect1Click();
        QVERIFY(!form->silenceHint()->timer().isActive());
        QVERIFY(prompts.shown().isEmpty());
    }
};

QTEST_MAIN(tst_FindGatewayOnPty)
#include "tst_FindGatewayOnPty.moc"
