#include "TPocitadlo.h"

#include <QTest>

class tst_Pocitadlo : public QObject
{
    Q_OBJECT
private slots:
    void twoRequestsWithoutAnAnswerCountATimeout()
    {
        TPocitadlo c;
        QList<TCounterSnapshot> reported;
        c.OnChange = [&](const TCounterSnapshot &s) { reported.append(s); };

        c.FrameSent();
        c.setAwaiting(true);
        QCOMPARE(c.TimedOut(), false);
        c.FrameSent();
        c.setAwaiting(true);

        QCOMPARE(c.Snapshot(), (TCounterSnapshot{0, 2, 1, true}));
        QCOMPARE(reported.size(), 2);
        QCOMPARE(reported.last(), (TCounterSnapshot{0, 2, 1, true}));
    }

    void goodAnswerAfterATimeoutClearsTheFlag()
    {
        TPocitadlo c;
        c.FrameSent();
        c.setAwaiting(true);
        c.FrameSent();
        c.setAwaiting(true);
        c.AnswerReceived(true);
        QCOMPARE(c.Snapshot(), (TCounterSnapshot{1, 2, 1, false}));
        QCOMPARE(c.Awaiting(), false);
    }

    void badAnswerCountsAnError()
    {
        TPocitadlo c;
        c.FrameSent();
        c.setAwaiting(true);
        c.AnswerReceived(false);
        QCOMPARE(c.Snapshot(), (TCounterSnapshot{0, 1, 1, false}));
    }

    void answerThatNobodyAwaitsChangesNothing()
    {
        TPocitadlo c;
        int calls = 0;
        c.OnChange = [&](const TCounterSnapshot &) { ++calls; };
        c.FrameSent(); // counted request...
        c.setAwaiting(false); // ...then a write went out in between
        calls = 0;
        c.AnswerReceived(true);
        c.AnswerReceived(false);
        QCOMPARE(calls, 0);
        QCOMPARE(c.Snapshot(), (TCounterSnapshot{0, 1, 0, false}));
    }

    void countPastTheLimitResetsEverything()
    {
        TPocitadlo c;
        int32_t lastTx = -1;
        c.OnChange = [&](const TCounterSnapshot &s) { lastTx = s.Tx; };
        for (int i = 0; i < TPocitadlo::MaxCount; ++i) {
            c.FrameSent();
            c.AnswerReceived(true); // not awaited: nothing counted
        }
        QCOMPARE(c.Tx(), TPocitadlo::MaxCount);
        c.setAwaiting(true); // would count a timeout, but the reset clears Awaiting first
        c.FrameSent();
        QCOMPARE(c.Snapshot(), (TCounterSnapshot{0, 0, 0, false}));
        QCOMPARE(lastTx, 0);
    }

    void errorCountPastTheLimitResetsEverything()
    {
        TPocitadlo c;
        for (int i = 0; i < TPocitadlo::MaxCount; ++i)
            c.CountError();
        QCOMPARE(c.Err(), TPocitadlo::MaxCount);
        c.FrameSent();
        c.setAwaiting(true);
        c.AnswerReceived(false);
        QCOMPARE(c.Snapshot(), (TCounterSnapshot{0, 0, 0, false}));
    }

    void answerCountPastTheLimitResetsEverything()
    {
        TPocitadlo c;
        for (int i = 0; i < TPocitadlo::MaxCount; ++i) {
            c.setAwaiting(true);
            c.AnswerReceived(true);
        }
        QCOMPARE(c.Rx(), TPocitadlo::MaxCount);
        c.CountError();
        c.setAwaiting(true);
        c.AnswerReceived(true);
        QCOMPARE(c.Snapshot(), (TCounterSnapshot{0, 0, 0, false}));
        QVERIFY(!c.Awaiting());
    }

    void noCallbackIsNoProblem()
    {
        TPocitadlo c;
        c.FrameSent();
        c.setAwaiting(true);
        c.AnswerReceived(true);
        QCOMPARE(c.Snapshot(), (TCounterSnapshot{1, 1, 0, false}));
        c.Reset();
        QCOMPARE(c.Snapshot(), (TCounterSnapshot{0, 0, 0, false}));
        QCOMPARE(c.Awaiting(), false);
    }
};

QTEST_APPLESS_MAIN(tst_Pocitadlo)
#include "tst_Pocitadlo.moc"
