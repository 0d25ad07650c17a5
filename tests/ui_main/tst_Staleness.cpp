// When the values on screen count as old, and what the line headers say then.
#include "Staleness.h"

#include <QTest>

class tst_Staleness : public QObject
{
    Q_OBJECT
private slots:
    void rule_data()
    {
        // The events, each at a steady-clock moment in ms; the wall clock reads 9:59:58 plus
        // that moment.
        QTest::addColumn<QString>("events");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<bool>("stale");
        QTest::addColumn<QString>("note");
        QTest::addColumn<int>("untilStale");
        QTest::newRow("never opened") << "" << qint64(60000) << false << "" << -1;
        QTest::newRow("a connect that failed at start") << "close@0" << qint64(60000) << false << "" << -1;
        QTest::newRow("silent from the opening, 1 ms short") << "open@0" << qint64(9999) << false << "" << 1;
        QTest::newRow("silent from the opening, 10 s") << "open@0" << qint64(10000) << true << "no answer since 9:59:58" << 0;
        QTest::newRow("answered, then 10 s silent") << "open@0 answer@5000" << qint64(15000) << true
                                                    << "no answer since 10:00:03" << 0;
        QTest::newRow("an answer after the silence") << "open@0 answer@5000 answer@40000" << qint64(40000) << false << ""
                                                     << 10000;
        QTest::newRow("closed after answers") << "open@0 answer@5000 answer@7500 close@8000" << qint64(8000) << true
                                              << "not connected, last answer 10:00:05" << -1;
        QTest::newRow("closed unanswered") << "open@0 close@3000" << qint64(3000) << true << "not connected" << -1;
        QTest::newRow("reopened: the old answers are gone") << "open@0 answer@5000 close@6000 open@30000" << qint64(40000)
                                                            << true << "no answer since 10:00:28" << 0;
    }

    void rule()
    {
        QFETCH(QString, events);
        QFETCH(qint64, now);
        const QTime base(9, 59, 58);
        Staleness rule;
        for (const QString &event : events.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList parts = event.split(QLatin1Char('@'));
            const qint64 at = parts.value(1).toLongLong();
            const Staleness::Moment moment{at, base.addMSecs(int(at))};
            if (parts[0] == QLatin1String("open"))
                rule.opened(moment);
            else if (parts[0] == QLatin1String("answer"))
                rule.answered(moment);
            else
                rule.closed();
        }
        QTEST(rule.stale(now), "stale");
        QTEST(rule.note(now, QLocale::c()), "note");
        QTEST(rule.msUntilStale(now), "untilStale");
    }
};

QTEST_GUILESS_MAIN(tst_Staleness)
#include "tst_Staleness.moc"
