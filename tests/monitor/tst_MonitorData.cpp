// What the traffic monitor and the trend chart are built on: frames in words, the bounded
// frame log, and the bounded temperature history.
#include "AxisTicks.h"
#include "FrameBytes.h"
#include "FrameDecoder.h"
#include "TForm_TrendChart.h"
#include "TemperatureHistory.h"
#include "TrafficLog.h"

#include <QTest>

Q_DECLARE_METATYPE(LinkFault)
#include <QTimeZone>

class tst_MonitorData : public QObject
{
    Q_OBJECT
private slots:
    void framesInWords_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("requestText");
        QTest::addColumn<QString>("answerText");
        QTest::addColumn<bool>("answerError");
        QTest::addColumn<LinkFault>("fault");
        QList<uint16_t> regs(100, 0);
        QTest::newRow("read block") << withCrc(hexBytes("01 03 00 64 00 64")) << readAnswer(1, regs)
                                    << "address 1, read holding registers 100, count 100; CRC OK"
                                    << "address 1, read holding registers, 200 bytes (registers 100..199); CRC OK" << false << LinkFault::None;
        QTest::newRow("write single") << withCrc(hexBytes("01 06 03 F2 05 FF")) << withCrc(hexBytes("01 06 03 F2 05 FF"))
                                      << "address 1, write single register 1010 = 1535 (0x05FF); CRC OK"
                                      << "address 1, write single register 1010 confirmed; CRC OK" << false << LinkFault::None;
        QTest::newRow("write multiple") << withCrc(hexBytes("01 10 00 C8 00 04 08 28 AA BB CC DD EE FF 00"))
                                        << withCrc(hexBytes("01 10 00 C8 00 04"))
                                        << "address 1, write multiple registers 200, count 4; CRC OK"
                                        << "address 1, write multiple registers 200 confirmed; CRC OK" << false << LinkFault::None;
        QTest::newRow("exception") << withCrc(hexBytes("01 03 01 F4 00 01")) << withCrc(hexBytes("01 83 02"))
                                   << "address 1, read holding registers 500, count 1; CRC OK"
                                   << "address 1, read holding registers refused: illegal data address; CRC OK" << true << LinkFault::Exception;
        QByteArray corrupt = readAnswer(1, regs);
        corrupt[50] = char(corrupt[50] ^ 4);
        QTest::newRow("bad CRC") << withCrc(hexBytes("01 03 00 00 00 64")) << corrupt
                                 << "address 1, read holding registers 0, count 100; CRC OK"
                                 << "address 1, read holding registers, 200 bytes (registers 0..99); CRC bad" << true << LinkFault::Crc;
        QTest::newRow("cut short") << withCrc(hexBytes("01 03 00 00 00 64")) << readAnswer(1, regs).left(120)
                                   << "address 1, read holding registers 0, count 100; CRC OK"
                                   << "address 1, read holding registers, 200 bytes (registers 0..99), length 120 instead of 205; CRC bad" << true << LinkFault::Crc;
        QTest::newRow("other slave") << withCrc(hexBytes("01 03 00 00 00 01")) << withCrc(hexBytes("02 03 02 00 6D"))
                                     << "address 1, read holding registers 0, count 1; CRC OK"
                                     << "address 2, read holding registers, 2 bytes (registers 0..0), not the answer to the last request; CRC OK" << true << LinkFault::Foreign;
        // Bytes that begin no answer to the request: noise, however they decode.
        QTest::newRow("noise") << withCrc(hexBytes("01 03 00 00 00 01")) << hexBytes("FF 00 55 12 34 56")
                               << "address 1, read holding registers 0, count 1; CRC OK"
                               << "address 255, function 00, not the answer to the last request; CRC bad" << true << LinkFault::Noise;
        QTest::newRow("noise byte") << withCrc(hexBytes("01 03 00 00 00 01")) << hexBytes("FF")
                                    << "address 1, read holding registers 0, count 1; CRC OK" << "1 bytes: cut short" << true
                                    << LinkFault::Noise;
    }
    void framesInWords()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        QFETCH(QString, requestText);
        QFETCH(QString, answerText);
        QFETCH(bool, answerError);
        QCOMPARE(FrameDecoder::request(request).text, requestText);
        const FrameDecoder::Decoded d = FrameDecoder::answer(answer, request);
        QCOMPARE(d.text, answerText);
        QCOMPARE(d.error, answerError);
        QFETCH(LinkFault, fault);
        QCOMPARE(d.fault, fault);
    }

    void logKeepsTheNewestInOrderAndMarksLostAnswers()
    {
        TrafficLog log;
        const QDateTime t0(QDate(2026, 12, 8), QTime(10, 0, 0), Qt::UTC);
        const QByteArray read = withCrc(hexBytes("01 03 00 00 00 64"));
        log.addSent(read, t0);
        log.addReceived(readAnswer(1, QList<uint16_t>(100, 0)), t0.addMSecs(215));
        QCOMPARE(log.at(1).delayMs, qint64(215));
        const quint64 revision = log.revision();
        log.addSent(read, t0.addMSecs(500));
        log.addSent(read, t0.addMSecs(1000)); // the one before got no answer
        QVERIFY(log.at(2).decoding.endsWith(QStringLiteral("; no answer")));
        QVERIFY(log.at(2).error);
        QCOMPARE(log.at(2).fault, LinkFault::Timeout);
        QVERIFY(log.revision() != revision);
        for (int i = 0; i < TrafficLog::Capacity + 500; ++i)
            log.addReceived(QByteArray(1, char(i)), t0.addSecs(2 + i));
        QCOMPARE(log.size(), TrafficLog::Capacity);
        const QList<TrafficLog::Entry> all = log.since(0);
        QCOMPARE(all.first().number, quint64(4 + 501));
        QCOMPARE(all.last().number, log.lastNumber());
        for (int i = 1; i < all.size(); ++i)
            QVERIFY(all[i].number == all[i - 1].number + 1);
        QCOMPARE(log.since(log.lastNumber() - 3).size(), 3);
    }

    void historyKeepsADayWithinItsBoundAndShowsGaps()
    {
        TemperatureHistory history;
        const QDateTime start(QDate(2026, 12, 1), QTime(0, 0, 0), Qt::UTC);
        TChannelRecord r;
        r.rom = {0x28FF, 0, 0, 1};
        // A week of samples every 2 seconds on all 40 channels.
        const int step = 2000;
        const qint64 week = 7LL * 24 * 3600 * 1000;
        for (qint64 ms = 0; ms < week; ms += step)
            for (int c = 1; c <= 40; ++c) {
                r.channel = uint8_t(c);
                r.values[0] = uint16_t(200 + (ms / step) % 50);
                r.status = 0;
                history.add(r, start.addMSecs(ms));
            }
        QVERIFY2(history.memoryBytes() <= 8 * 1024 * 1024, qPrintable(QString::number(history.memoryBytes())));
        const QList<TemperatureHistory::Point> points = history.points(7);
        QVERIFY(points.size() <= TemperatureHistory::MaxPoints);
        const qint64 end = start.addMSecs(week - step).toMSecsSinceEpoch();
        QCOMPARE(points.last().ms, end); // the newest is never thinned
        QVERIFY(end - points.first().ms <= TemperatureHistory::SpanMs);
        QVERIFY(end - points.first().ms > TemperatureHistory::SpanMs - 3600 * 1000);
        // The last ten minutes at full resolution.
        QCOMPARE(history.points(7, end - 600 * 1000).size(), 301);

        // An error status is a gap, and a thermometer's value comes back afterwards.
        r.channel = 7;
        r.status = 5;
        history.add(r, start.addMSecs(week));
        r.status = 0;
        r.values[0] = uint16_t(-25);
        history.add(r, start.addMSecs(week + step));
        const QList<TemperatureHistory::Point> tail = history.points(7, end + 1);
        QCOMPARE(tail.size(), 2);
        QVERIFY(std::isnan(tail[0].value));
        QCOMPARE(tail[1].value, -2.5);
        // A device that measures no temperature is never a line on the chart.
        TChannelRecord ibutton;
        ibutton.channel = 40;
        ibutton.rom = {0x0100, 0, 0, 1};
        TemperatureHistory other;
        other.add(ibutton, start);
        QVERIFY(!other.hasTemperature(40));
        QVERIFY(std::isnan(other.points(40).first().value));
    }

    // Another device in a channel (a sensor replaced) starts its line afresh: a gap at the new
    // device's first reading; the same device after an error gap adds none.
    void deviceChangeLeavesAGap()
    {
        TemperatureHistory history;
        const QDateTime t0(QDate(2026, 12, 1), QTime(12, 0, 0), Qt::UTC);
        TChannelRecord r;
        r.channel = 3;
        auto add = [&](std::array<uint16_t, 4> rom, int tenths, int status, int atSecond) {
            r.rom = rom;
            r.values[0] = uint16_t(tenths);
            r.status = uint8_t(status);
            history.add(r, t0.addSecs(atSecond));
        };
        const std::array<uint16_t, 4> a{0x28AA, 1, 2, 3}, b{0x28BB, 4, 5, 6};
        add(a, 215, 0, 0);
        add(a, 216, 0, 2);
        add(b, -55, 0, 4); // replaced
        add(b, -54, 0, 6);
        add(b, 0, 5, 8); // an error
        add(b, -53, 0, 10);
        const QList<TemperatureHistory::Point> p = history.points(3);
        QList<double> values;
        for (const auto &point : p)
            values.append(point.value);
        QCOMPARE(p.size(), 7);
        QCOMPARE(values.mid(0, 2), (QList<double>{21.5, 21.6}));
        QVERIFY(std::isnan(values[2]));
        QCOMPARE(p[2].ms, p[3].ms); // at the new device's first reading
        QCOMPARE(values.mid(3, 2), (QList<double>{-5.5, -5.4}));
        QVERIFY(std::isnan(values[5]));
        QCOMPARE(values[6], -5.3);
        // The reading at or before a time; none before the first.
        const qint64 ms0 = t0.toMSecsSinceEpoch();
        QVERIFY(!history.latestAt(3, ms0 - 1));
        QCOMPARE(history.latestAt(3, ms0 + 3999)->value, 21.6);
        QCOMPARE(history.latestAt(3, ms0 + 4000)->value, -5.5);
        QVERIFY(std::isnan(history.latestAt(3, ms0 + 9000)->value));
        QCOMPARE(history.latestAt(3, ms0 + 60000)->value, -5.3);
        QVERIFY(!history.latestAt(4, ms0 + 60000));
    }

    // Round ticks: a step of 1, 2, 2.5 or 5 times a power of ten, the range widened to whole
    // steps, at most eight steps, at least a degree.
    void axisTicksAreRound_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("step");
        QTest::addColumn<int>("decimals");
        QTest::newRow("-21.0 to 37.0") << -21.0 << 37.0 << -30.0 << 40.0 << 10.0 << 0;
        QTest::newRow("bounds swapped") << 37.0 << -21.0 << -30.0 << 40.0 << 10.0 << 0;
        QTest::newRow("on whole steps") << -20.0 << 40.0 << -20.0 << 40.0 << 10.0 << 0;
        QTest::newRow("all below zero") << -40.3 << -35.1 << -41.0 << -35.0 << 1.0 << 0;
        QTest::newRow("steps of 2.5") << 0.0 << 17.0 << 0.0 << 17.5 << 2.5 << 1;
        QTest::newRow("steps of 25") << -55.0 << 125.0 << -75.0 << 125.0 << 25.0 << 0;
        QTest::newRow("steps of 0.5") << 20.1 << 23.9 << 20.0 << 24.0 << 0.5 << 1;
        QTest::newRow("flat") << 21.5 << 21.5 << 21.0 << 22.0 << 0.2 << 1;
        QTest::newRow("tiny") << 21.53 << 21.57 << 21.0 << 22.2 << 0.2 << 1;
        QTest::newRow("flat at zero") << 0.0 << 0.0 << -0.6 << 0.6 << 0.2 << 1;
    }
    void axisTicksAreRound()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(double, step);
        QFETCH(int, decimals);
        const AxisTicks::Scale s = AxisTicks::of(low, high, 8, 1.0);
        QCOMPARE(s.min, min);
        QCOMPARE(s.max, max);
        QCOMPARE(s.step, step);
        QCOMPARE(s.decimals, decimals);
        QCOMPARE(s.intervals, int(std::lround((max - min) / step)));
        QVERIFY(s.intervals <= 8);
        QVERIFY(s.min <= std::min(low, high) && s.max >= std::max(low, high));
    }

    // Forty lines on one chart: every channel has a colour of its own, the same one at every
    // refresh, and no two are near-equal shades.
    void everyChannelHasItsOwnLineColour()
    {
        QList<QPen> pens;
        for (int c = 1; c <= 40; ++c) {
            pens.append(TForm_TrendChart::linePen(c));
            QCOMPARE(TForm_TrendChart::linePen(c), pens.last());
        }
        for (int a = 0; a < 40; ++a)
            for (int b = a + 1; b < 40; ++b) {
                const QColor x = pens[a].color(), y = pens[b].color();
                const int distance = std::abs(x.red() - y.red()) + std::abs(x.green() - y.green()) + std::abs(x.blue() - y.blue());
                QVERIFY2(distance >= 40,
                         qPrintable(QStringLiteral("channels %1 and %2: %3 and %4").arg(a + 1).arg(b + 1).arg(x.name(), y.name())));
            }
    }
};

QTEST_APPLESS_MAIN(tst_MonitorData)
#include "tst_MonitorData.moc"
