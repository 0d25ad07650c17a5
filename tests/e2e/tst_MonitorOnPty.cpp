// The traffic monitor and the trend chart fed by a live link to the simulated gateway.
#include "ScriptedPrompts.h"
#include "SimOnPty.h"
#include "TForm_TrafficMonitor.h"
#include "TForm_TrendChart.h"
#include "TFrame_Komunikace.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"
#include "TrafficTableModel.h"

#include <QChart>
#include <QComboBox>
#include <QLineSeries>
#include <QTest>

class tst_MonitorOnPty : public QObject
{
    Q_OBJECT
private slots:
    void bothWindowsShowTheLiveLink()
    {
        ScriptedPrompts prompts;
        SimOnPty sim({.line = {.baudRate = 115200}, .paced = false});

        TMainForm form;
        form.setPersistSettings(false);
        form.preselectPort(sim.link);
        form.connectionPanel()->ComboBox_BaudRate->setCurrentIndex(13);
        form.TrafficMonitor1Click();
        form.Connect1Click();
        TTarvikKomunikator *gw = form.communicator();
        gw->SetPollInterval(100);
        QVERIFY(QTest::qWaitFor([&] { return gw->Counters().Rx() >= 20; }, 15000));
        form.Disconnect1Click();

        TForm_TrafficMonitor *monitor = form.trafficMonitor();
        monitor->refresh();
        TrafficTableModel *model = monitor->model();
        QVERIFY(model->rowCount() >= 40);
        // Requests and answers alternate; every answer is a read answer with a good CRC.
        int sent = 0, received = 0;
        for (int r = 0; r < model->rowCount(); ++r) {
            const QString dir = model->index(r, TrafficTableModel::Direction).data().toString();
            QCOMPARE(dir, r % 2 == 0 ? QStringLiteral("Tx") : QStringLiteral("Rx"));
            (dir == QLatin1String("Tx") ? sent : received)++;
            const QString meaning = model->index(r, TrafficTableModel::Decoding).data().toString();
            QVERIFY2(meaning.endsWith(QStringLiteral("CRC OK")), qPrintable(meaning));
        }
        QVERIFY(received >= 20);

        form.TrendChart1Click();
        TForm_TrendChart *chart = form.trendChart();
        chart->refresh();
        // The demo's thermometers on channels 1 and 21 are ticked and drawn at their values.
        QVERIFY(chart->shownChannels().contains(1));
        QVERIFY(chart->shownChannels().contains(21));
        QVERIFY(!chart->shownChannels().contains(5)); // the iButton probe
        bool found = false;
        for (QAbstractSeries *s : chart->chart()->series()) {
            auto *line = static_cast<QLineSeries *>(s);
            if (line->name() == QStringLiteral("Ch0") && line->count() > 0) {
                found = true;
                QVERIFY(qAbs(line->at(0).y() - 21.5) < 1.0);
            }
        }
        QVERIFY(found);
    }
};

QTEST_MAIN(tst_MonitorOnPty)
#include "tst_MonitorOnPty.moc"
