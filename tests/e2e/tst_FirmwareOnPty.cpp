// A firmware update end to end: the main window hands its port to the programmer window, a
// 64 KiB image goes to the simulated gateway over a pseudo-terminal while a fifth of the
// answers are lost and some data frames refused, and arrives byte for byte; then the main link
// comes back.
#include "FirmwareUpdate.h"
#include "ScriptedPrompts.h"
#include "SimOnPty.h"
#include "TAfComPort.h"
#include "TForm_Programmer.h"
#include "TFrame_Komunikace.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"
#include "TestHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

class tst_FirmwareOnPty : public QObject
{
    Q_OBJECT
private slots:
    void imageArrivesWholeThroughLostAndRefusedAnswers()
    {
        ScriptedPrompts prompts;
        SimOnPty gw({.line = {.baudRate = 115200}, .paced = false, .clock = false, .seed = 7});
        FaultInjector::Rates rates;
        rates.drop = 0.2;
        rates.refuse = 0.05;
        gw.sim->faults().setRates(rates);

        QByteArray image(64 * 1024, Qt::Uninitialized);
        QRandomGenerator rng(42);
        for (char &c : image)
            c = char(rng.bounded(256));
        const QString path = gw.dir.filePath(QStringLiteral("gateway.bin"));
        QVERIFY(writeFile(path, image));

        TMainForm main;
        main.setPersistSettings(false);
        main.preselectPort(gw.link);
        main.connectionPanel()->ComboBox_BaudRate->setCurrentIndex(13);
        main.Connect1Click();
        QVERIFY(QTest::qWaitFor([&] { return main.communicator()->Counters().Rx() >= 1; }, 5000));

        main.SWUpgrade1Click();
        TForm_Programmer *programmer = main.programmer();
        QVERIFY(programmer && programmer->isVisible());
        QVERIFY(!main.communicator()->Active());
        QVERIFY(programmer->port().isActive());
        FirmwareUpdate &update = programmer->update();
        update.Timer().stop(); // the test is the timer, without the 300 ms pacing
        programmer->loadFile(path);
        prompts.queueConfirm(true);
        programmer->Button_DelProgMem->click();
        QVERIFY(programmer->Busy());

        TAfComPort &port = programmer->port();
        for (int tick = 0; tick < 5000 && programmer->Busy(); ++tick) {
            update.Tick();
            // Wait for an answer (or its absence), then until no more bytes come. The update
            // takes the bytes as they come; those still in the driver the next tick takes.
            (void)QTest::qWaitFor([&] { return port.bytesWaiting() > 0 || update.ReplyState() != FirmwareUpdate::Pending; }, 60);
            for (int last = -1; port.isActive() && port.bytesWaiting() != last;) {
                last = port.bytesWaiting();
                QTest::qWait(2);
            }
        }
        QVERIFY(!programmer->Busy());
        QVERIFY(prompts.texts(ScriptedPrompts::Kind::Information).first().startsWith(QStringLiteral("Memory programming done.")));
        QVERIFY(gw.sim->faults().counts().dropped > 20);
        QVERIFY(gw.sim->faults().counts().refused > 5);
        const QByteArray received = gw.model().firmwareImage();
        QVERIFY(received.size() >= image.size());
        QVERIFY(received.left(image.size()) == image);
        QCOMPARE(received.mid(image.size()), QByteArray(received.size() - image.size(), char(0xFF)));
        QCOMPARE(gw.model().erasedPages().first(), uint16_t(32));

        // The update let go of the port; connected again and closed, the main link comes back.
        QVERIFY(!port.isActive());
        programmer->CheckBox1->setChecked(true);
        QVERIFY(port.isActive());
        programmer->Button_Close->click();
        QVERIFY(main.communicator()->Active());
        const int before = main.communicator()->Counters().Rx();
        QVERIFY(QTest::qWaitFor([&] { return main.communicator()->Counters().Rx() > before; }, 5000));
    }
};

QTEST_MAIN(tst_FirmwareOnPty)
#include "tst_FirmwareOnPty.moc"
