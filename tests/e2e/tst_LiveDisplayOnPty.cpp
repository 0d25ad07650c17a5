// The whole chain live: the simulated gateway on a pseudo-terminal, the tool's port and poll
// cycle, and the main window's boxes showing every channel after one full cycle.
#include "ChannelText.h"
#include "RomCode.h"
#include "SimOnPty.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorBox.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"

#include <QComboBox>
#include <QLabel>
#include <QTest>

#include "TFrame_Komunikace.h"

class tst_LiveDisplayOnPty : public QObject
{
    Q_OBJECT
private slots:
    void allFortyChannelsShowTheGatewaysValues()
    {
        SimOnPty sim({.line = {.baudRate = 115200}, .clock = false});

        TMainForm form;
        form.setPersistSettings(false);
        form.useDemoGateway(sim.link); // 115.2 kBd, address 1
        QSet<uint16_t> blocks;
        auto *gw = form.communicator();
        const auto dispatch = gw->OnBlockReceived;
        gw->OnBlockReceived = [&] {
            blocks.insert(gw->GetBlockAddress());
            dispatch();
        };
        form.Connect1Click();
        QVERIFY(QTest::qWaitFor([&] { return blocks.size() == 7; }, 6000));

        for (int c = 1; c <= 40; ++c) {
            QList<uint16_t> rec;
            sim.model().read(uint16_t((c - 1) * 10), 10, rec);
            TFrame_SensorBox *box = form.sensorBoxes()[c - 1];
            const uint8_t status = uint8_t(rec[9]);
            QCOMPARE(box->lastRecord().status, status);
            if (status == 255) {
                QVERIFY2(box->Label_ROMCode->text().isEmpty(), qPrintable(QString::number(c)));
                continue;
            }
            QCOMPARE(box->Label_ROMCode->text(), RomCode::toText({rec[0], rec[1], rec[2], rec[3]}));
            QCOMPARE(box->Label_Error->text(), ChannelText::statusText(status));
            QCOMPARE(box->Label_Value1->text(), ChannelText::valueOf(box->lastRecord(), 1).text);
        }
        QCOMPARE(form.firmwareVersionText(), QStringLiteral("Gateway FW version: V1.09"));
        QCOMPARE(form.lineTab(1)->Label_Caption->text(), QStringLiteral("LINE 1 - OK"));
        QCOMPARE(gw->Counters().Err(), 0);
    }
};

QTEST_MAIN(tst_LiveDisplayOnPty)
#include "tst_LiveDisplayOnPty.moc"
