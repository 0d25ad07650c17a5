// The traffic monitor's filter, elided cells and error line, and the trend chart's ticks,
// device-change gaps and cursor readout, on the windows themselves.
#include "FrameBytes.h"
#include "TForm_TrafficMonitor.h"
#include "TForm_TrendChart.h"
#include "TemperatureHistory.h"
#include "TrafficCellDelegate.h"
#include "TrafficFilter.h"
#include "TrafficLog.h"
#include "TrafficTableModel.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <QValueAxis>

Q_DECLARE_METATYPE(LinkFault)

namespace {

// One exchange of each kind: a good read, a write, and a read of each kind of error.
void fillLog(TrafficLog &log)
{
    const QDateTime t(QDate(2026, 12, 9), QTime(8, 0, 0), Qt::UTC);
    int ms = 0;
    auto sent = [&](const QByteArray &f) { log.addSent(f, t.addMSecs(ms += 500)); };
    auto received = [&](const QByteArray &f) { log.addReceived(f, t.addMSecs(ms += 100)); };
    const QByteArray read = withCrc(hexBytes("01 03 00 00 00 01"));
    sent(read);
    received(withCrc(hexBytes("01 03 02 00 D7")));
    sent(withCrc(hexBytes("01 06 03 F2 05 FF")));
    received(withCrc(hexBytes("01 06 03 F2 05 FF")));
    sent(read); // no answer
    sent(read);
    received(withCrc(hexBytes("01 03 02 00 D7")).left(6) + hexBytes("00")); // wrong CRC
    sent(read);
    received(withCrc(hexBytes("01 83 02")));
    sent(read);
    received(withCrc(hexBytes("02 03 02 00 6D")));
    sent(read);
    received(hexBytes("FF"));
}

} // namespace

class tst_MonitorWindows : public QObject
{
    Q_OBJECT
private slots:
    // Each kind of error, a function and a text pick their rows; the rows hidden stay in the log
    // and come back when the filter is cleared.
    void monitorFilterHidesFramesWithoutDroppingThem_data()
    {
        QTest::addColumn<int>("function");
        QTest::addColumn<LinkFault>("fault");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("shown"); // the meanings' starts
        QTest::newRow("timeout") << -1 << LinkFault::Timeout << QString() << QStringList{"address 1, read holding registers 0, count 1; CRC OK; no answer"};
        QTest::newRow("CRC") << -1 << LinkFault::Crc << QString() << QStringList{"address 1, read holding registers, 2 bytes (registers 0..0); CRC bad"};
        QTest::newRow("exception") << -1 << LinkFault::Exception << QString() << QStringList{"address 1, read holding registers refused: illegal data address; CRC OK"};
        QTest::newRow("foreign") << -1 << LinkFault::Foreign << QString()
                                 << QStringList{"address 2, read holding registers, 2 bytes (registers 0..0), not the answer to the last request; CRC OK"};
        QTest::newRow("noise") << -1 << LinkFault::Noise << QString() << QStringList{"1 bytes: cut short"};
        QTest::newRow("function 06") << 6 << LinkFault::None << QString()
                                     << QStringList{"address 1, write single register 1010 = 1535 (0x05FF); CRC OK",
                                                    "address 1, write single register 1010 confirmed; CRC OK"};
        QTest::newRow("text in the meaning, any case") << -1 << LinkFault::None << "ILLEGAL"
                                                       << QStringList{"address 1, read holding registers refused: illegal data address; CRC OK"};
        QTest::newRow("text in the bytes") << -1 << LinkFault::None << "02 03 02"
                                           << QStringList{"address 2, read holding registers, 2 bytes (registers 0..0), not the answer to the last request; CRC OK"};
        QTest::newRow("function and kind") << 3 << LinkFault::Exception << QString()
                                           << QStringList{"address 1, read holding registers refused: illegal data address; CRC OK"};
        QTest::newRow("nothing matches") << 16 << LinkFault::None << QString() << QStringList{};
    }
    void monitorFilterHidesFramesWithoutDroppingThem()
    {
        QFETCH(int, function);
        QFETCH(LinkFault, fault);
        QFETCH(QString, text);
        QFETCH(QStringList, shown);
        TrafficLog log;
        fillLog(log);
        TForm_TrafficMonitor monitor(log);
        monitor.refresh();
        const int all = monitor.model()->rowCount();
        QCOMPARE(all, 13);
        // Set as the user does, through the filter row.
        monitor.Combo_Function->setCurrentIndex(monitor.Combo_Function->findData(function));
        monitor.Combo_Fault->setCurrentIndex(monitor.Combo_Fault->findData(int(fault)));
        monitor.Edit_Filter->setText(text);
        QAbstractItemModel *view = monitor.Table_Frames->model();
        QStringList meanings;
        for (int r = 0; r < view->rowCount(); ++r)
            meanings.append(view->index(r, TrafficTableModel::Decoding).data().toString());
        QCOMPARE(meanings, shown);
        QCOMPARE(monitor.shownLines().size(), shown.size()); // what "Save as text" writes
        QCOMPARE(log.size(), all);
        monitor.Combo_Function->setCurrentIndex(0);
        monitor.Combo_Fault->setCurrentIndex(0);
        monitor.Edit_Filter->clear();
        QCOMPARE(view->rowCount(), all);
    }

    // A text wider than its cell ends in "…"; the meaning's tooltip is the whole text, a long
    // frame's all its bytes.
    void monitorCellsElideWithTheWholeTextInTheTooltip()
    {
        TrafficLog log;
        log.addSent(withCrc(hexBytes("01 03 00 00 00 64")));
        log.addReceived(readAnswer(1, QList<uint16_t>(100, 0x1234)));
        TForm_TrafficMonitor monitor(log);
        monitor.refresh();
        const QModelIndex meaning = monitor.model()->index(1, TrafficTableModel::Decoding);
        const QString whole = meaning.data().toString();
        QCOMPARE(meaning.data(Qt::ToolTipRole).toString(), whole);
        const QString bytesTip = monitor.model()->index(1, TrafficTableModel::Bytes).data(Qt::ToolTipRole).toString();
        QVERIFY2(bytesTip.startsWith(QStringLiteral("205 bytes: 01 03 C8 12 34")), qPrintable(bytesTip));
        QVERIFY(bytesTip.endsWith(TrafficLog::hex(log.at(1).bytes.right(2))));

        TrafficCellDelegate delegate;
        const QFont font = monitor.Table_Frames->font();
        const QString cut = delegate.shownText(whole, font, 120);
        QVERIFY2(cut.endsWith(QChar(0x2026)) && cut.size() < whole.size(), qPrintable(cut));
        QVERIFY(whole.startsWith(cut.chopped(1)));
        QVERIFY(QFontMetrics(font).horizontalAdvance(cut) <= 120);
        QCOMPARE(delegate.shownText(whole, font, 4000), whole);
        QCOMPARE(delegate.shownText(whole, font, 120), cut); // the same, from the cache
    }

    void monitorSaysWhatTheErrorsAre()
    {
        TrafficLog log;
        TForm_TrafficMonitor monitor(log);
        TErrorSplit split;
        split.counts = {4, 3, 0, 1, 2};
        monitor.setErrorSource([&] { return split; });
        QCOMPARE(monitor.Label_Errors->text(),
                 QStringLiteral("Err = 10: 4 timeouts, 3 CRC errors, 0 exceptions, 1 foreign answer, 2 noise"));
        split.counts[2] = 1;
        monitor.refresh();
        QVERIFY(monitor.Label_Errors->text().startsWith(QStringLiteral("Err = 11:")));
    }

    // The chart: a replaced sensor's line breaks at the change; the value axis has round ticks;
    // the readout names the time and each shown channel's reading there.
    void chartBreaksAtADeviceChangeAndReadsOutAtTheCursor()
    {
        TemperatureHistory history;
        const QDateTime t0 = QDateTime(QDate(2026, 12, 9), QTime(7, 0, 0)); // local: the chart shows local time
        TChannelRecord r;
        auto add = [&](int channel, std::array<uint16_t, 4> rom, int tenths, int atSecond) {
            r.channel = uint8_t(channel);
            r.rom = rom;
            r.values[0] = uint16_t(tenths);
            r.status = 0;
            history.add(r, t0.addSecs(atSecond));
        };
        add(1, {0x2801, 0, 0, 1}, -210, 0);
        add(1, {0x2801, 0, 0, 1}, -205, 10);
        add(1, {0x2802, 0, 0, 2}, 370, 20); // another sensor
        add(1, {0x2802, 0, 0, 2}, 365, 30);
        add(2, {0x2803, 0, 0, 3}, 215, 15);
        TForm_TrendChart chart(history, [](int c) { return c == 2 ? QStringLiteral("Ch2 Boiler") : QStringLiteral("Ch%1").arg(c); });
        chart.refresh();
        QCOMPARE(chart.shownChannels(), (QList<int>{1, 2}));

        QList<int> channel1Segments;
        for (QAbstractSeries *s : chart.chart()->series())
            if (s->name() == QStringLiteral("Ch1"))
                channel1Segments.append(int(static_cast<QLineSeries *>(s)->count()));
        QCOMPARE(channel1Segments, (QList<int>{2, 2}));

        auto *axis = qobject_cast<QValueAxis *>(chart.chart()->axes(Qt::Vertical).value(0));
        QVERIFY(axis);
        QCOMPARE(axis->min(), -30.0);
        QCOMPARE(axis->max(), 40.0);
        QCOMPARE(axis->tickCount(), 8);

        const qint64 ms0 = t0.toMSecsSinceEpoch();
        QCOMPARE(chart.readoutText(ms0 + 12000), QStringLiteral("07:00:12\nCh1: -20.5 °C\nCh2 Boiler: no value"));
        QCOMPARE(chart.readoutText(ms0 + 25000), QStringLiteral("07:00:25\nCh1: 37.0 °C\nCh2 Boiler: 21.5 °C"));

        // Through the view: a point in the plot area reads out, the margin does not.
        chart.resize(1000, 560);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        QTRY_VERIFY(chart.chart()->plotArea().width() > 500);
        const QRectF plot = chart.chart()->plotArea();
        const QPointF inside = chart.chart()->mapToPosition(QPointF(double(ms0 + 25000), 0), chart.chart()->series().first());
        const QPoint viewPos = chart.Chart_Trend->mapFromScene(chart.chart()->mapToScene(inside));
        QVERIFY(plot.contains(inside));
        QCOMPARE(chart.readoutAt(viewPos).section(QLatin1Char('\n'), 1), QStringLiteral("Ch1: 37.0 °C\nCh2 Boiler: 21.5 °C"));
        QCOMPARE(chart.readoutAt(QPoint(1, 1)), QString());
        QTest::mouseMove(chart.Chart_Trend->viewport(), viewPos);
        QTRY_COMPARE(QToolTip::text(), chart.readoutAt(viewPos));
    }
};

QTEST_MAIN(tst_MonitorWindows)
#include "tst_MonitorWindows.moc"
