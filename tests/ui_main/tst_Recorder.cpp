// The Recorder: samples only while the link is up and answering, a log that stays complete, the
// file that cannot be written, and the options window's period.
#include "DataLogger.h"
#include "RecorderSettings.h"
#include "ScriptedPrompts.h"
#include "TForm_RecSettings.h"
#include "TMainForm.h"
#include "TestHelpers.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <sys/resource.h>

namespace {

struct Rig
{
    QTemporaryDir dir;
    bool sampling = true;
    bool answering = true;
    qint64 now = 0; // ms; the poll reads a block every 500 ms, a round of seven in 3.5 s
    QString state;
    int stops = 0;
    std::unique_ptr<DataLogger> logger;
    Rig()
    {
        DataLogger::Sources s;
        s.records = [] {
            QList<TChannelRecord> list(40);
            for (int i = 0; i < 40; ++i) {
                list[i].channel = uint8_t(i + 1);
                list[i].rom = {0x28FF, 0, 0, uint16_t(i)};
                list[i].values[0] = 215;
            }
            return list;
        };
        s.channels = [] { return QList<TDescriptionRecord>(40); };
        s.sampling = [this] { return sampling; };
        s.answering = [this] { return answering; };
        s.showState = [this](const QString &t) { state = t; };
        s.stopped = [this] { ++stops; };
        s.fallbackFolder = dir.filePath(QStringLiteral("fallback"));
        s.pollInterval = [] { return 500; };
        s.nowMs = [this] { return now; };
        logger = std::make_unique<DataLogger>(s);
    }
    QStringList lines() const
    {
        QFile f(dir.filePath(QStringLiteral("log.csv")));
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
};

} // namespace

class tst_Recorder : public QObject
{
    Q_OBJECT
private slots:
    void rowsOnlyWhileTheLinkAnswers()
    {
        ScriptedPrompts prompts;
        Rig rig;
        QVERIFY(rig.logger->StartInto(rig.dir.filePath(QStringLiteral("log.csv")), 1));
        QCOMPARE(rig.logger->Timer_recorder.interval(), 1000);
        rig.logger->Stop();
        // The longest period does not overflow the timer: half of it, twice.
        QVERIFY(rig.logger->StartInto(rig.dir.filePath(QStringLiteral("log.csv")), 4294967));
        QCOMPARE(rig.logger->Timer_recorder.interval(), 2147483500);
        rig.logger->Stop();
        QVERIFY(rig.logger->StartInto(rig.dir.filePath(QStringLiteral("log.csv")), 1));
        QCOMPARE(rig.state, QStringLiteral("Logging... (0)"));
        QCOMPARE(rig.lines().size(), 8); // seven header rows and the first sample at once
        // Disconnected, or a restore running: logging rests, nothing is counted.
        rig.sampling = false;
        rig.logger->Timer_recorderTimer();
        rig.logger->Timer_recorderTimer();
        QCOMPARE(rig.lines().size(), 8);
        QCOMPARE(rig.state, QStringLiteral("Logging... (0)"));
        rig.sampling = true;
        rig.logger->ChannelsRead(1, 40);
        rig.logger->Timer_recorderTimer();
        QCOMPARE(rig.state, QStringLiteral("Logging... (1)"));
        rig.logger->Stop();
        QCOMPARE(rig.state, QStringLiteral("Logging stopped."));
        QVERIFY(!rig.logger->running());
        const QStringList lines = rig.lines();
        QCOMPARE(lines.size(), 9);
        QCOMPARE(lines.last().count(QLatin1Char(',')), 40);
        QVERIFY(lines.last().endsWith(QStringLiteral(",\"21.5 °C\"")));
        QVERIFY(prompts.shown().isEmpty());
    }

    // Rows further apart than a poll cycle hold only what was read since the row before: the
    // gateway answering with spoiled frames (or not at all) gives no row, counted as skipped; a
    // channel not read again gives an empty cell rather than its old value under a new time.
    void rowsOnlyFromWhatWasReadSinceTheLastRow()
    {
        ScriptedPrompts prompts;
        Rig rig;
        QVERIFY(rig.logger->StartInto(rig.dir.filePath(QStringLiteral("log.csv")), 10));
        QCOMPARE(rig.lines().size(), 8);
        rig.now += 10000;
        rig.logger->Timer_recorderTimer(); // nothing read since the first row
        rig.now += 10000;
        rig.logger->Timer_recorderTimer();
        QCOMPARE(rig.lines().size(), 8);
        QCOMPARE(rig.state, QStringLiteral("Logging... (0, 2 skipped)"));
        rig.logger->ChannelsRead(11, 10); // one block: channels 11..20
        rig.now += 10000;
        rig.logger->Timer_recorderTimer();
        QCOMPARE(rig.lines().size(), 9);
        const QStringList cells = rig.lines().last().split(QLatin1Char(','));
        QCOMPARE(cells.size(), 41);
        for (int c = 1; c <= 40; ++c)
            QCOMPARE(cells[c].isEmpty(), c < 11 || c > 20);
        QCOMPARE(rig.state, QStringLiteral("Logging... (1, 2 skipped)"));
        rig.now += 10000;
        rig.logger->Timer_recorderTimer();
        QCOMPARE(rig.state, QStringLiteral("Logging... (1, 3 skipped)"));
        // Started while the link is in timeout: what the boxes hold is no first row.
        rig.logger->Stop();
        rig.answering = false;
        QVERIFY(rig.logger->StartInto(rig.dir.filePath(QStringLiteral("log.csv")), 1));
        QCOMPARE(rig.lines().size(), 7);
        QCOMPARE(rig.state, QStringLiteral("Logging... (0, 1 skipped)"));
    }

    // A period of 1 s against a cycle of 3.5 s: every period gives a row holding each
    // channel's latest reading, as long as it was read within the last whole cycle (and one
    // read's turn: 4 s); a channel unread for longer, with no read since the row before, is
    // empty, and a row with nothing current is skipped.
    void aPeriodShorterThanTheCycleGivesARowEveryPeriod()
    {
        ScriptedPrompts prompts;
        Rig rig;
        QVERIFY(rig.logger->StartInto(rig.dir.filePath(QStringLiteral("log.csv")), 1)); // t = 0: row 1
        rig.logger->ChannelsRead(1, 40);
        const auto filled = [&] {
            QList<int> cells;
            const QStringList row = rig.lines().last().split(QLatin1Char(','));
            for (int c = 1; c < row.size(); ++c)
                if (!row[c].isEmpty())
                    cells.append(c);
            return cells;
        };
        QList<int> all;
        for (int c = 1; c <= 40; ++c)
            all.append(c);
        for (int second = 1; second <= 4; ++second) { // t = 1 s .. 4 s: read at 0, still current
            rig.now = second * 1000;
            rig.logger->Timer_recorderTimer();
            QCOMPARE(filled(), all);
        }
        QCOMPARE(rig.lines().size(), 7 + 5);
        rig.now = 4500;
        rig.logger->ChannelsRead(11, 10);
        rig.now = 5000; // channels 11-20 read since the last row; the rest 5 s old
        rig.logger->Timer_recorderTimer();
        QCOMPARE(filled(), all.mid(10, 10));
        rig.now = 6000; // 11-20 read 1.5 s ago: still current
        rig.logger->Timer_recorderTimer();
        QCOMPARE(filled(), all.mid(10, 10));
        rig.now = 9000; // nothing within 4 s, nothing since the last row
        rig.logger->Timer_recorderTimer();
        QCOMPARE(rig.lines().size(), 7 + 7);
        QCOMPARE(rig.state, QStringLiteral("Logging... (6, 1 skipped)"));
        QVERIFY(prompts.shown().isEmpty());
    }

    void fileThatCannotBeWrittenAnywhereLeavesTheRecorderIdle()
    {
        ScriptedPrompts prompts;
        clearStoredSettings();
        TMainForm form;
        form.setPersistSettings(false);
        prompts.queueFile(QStringLiteral("/nonexistent-folder/log.csv"));
        // The fallback beside the program is writable here: the user is told where the log goes.
        form.Startlogging1Click();
        if (form.recorderRunning()) {
            QVERIFY(prompts.texts(ScriptedPrompts::Kind::Information).first().contains(QStringLiteral("LogFile.csv")));
            QVERIFY(form.action(QStringLiteral("StopLogging1"))->isEnabled());
            form.StopLogging1Click();
            QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/LogFile.csv"));
        }
        QVERIFY(!form.action(QStringLiteral("StopLogging1"))->isEnabled());
        QVERIFY(!form.action(QStringLiteral("Startlogging1"))->isEnabled()); // not connected

        Rig rig;
        prompts.clear();
        QVERIFY(!rig.logger->StartInto(QStringLiteral("/nonexistent-folder/log.csv"), 1));
        QVERIFY(!rig.logger->running());
        QVERIFY(!rig.logger->Timer_recorder.isActive());
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error).size(), 1);
    }

    void writeErrorStopsLoggingOnceAndKeepsTheRows()
    {
        ScriptedPrompts prompts;
        Rig rig;
        const QString path = rig.dir.filePath(QStringLiteral("log.csv"));
        QVERIFY(rig.logger->StartInto(path, 1));
        rig.logger->ChannelsRead(1, 40);
        rig.logger->Timer_recorderTimer();
        const qint64 size = QFileInfo(path).size();
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit full = old;
        full.rlim_cur = rlim_t(size + 20); // the disk fills up during the next row
        ::setrlimit(RLIMIT_FSIZE, &full);
        rig.logger->ChannelsRead(1, 40);
        rig.logger->Timer_recorderTimer();
        rig.logger->ChannelsRead(1, 40);
        rig.logger->Timer_recorderTimer();
        ::setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(prompts.texts(ScriptedPrompts::Kind::Error).size(), 1);
        QVERIFY(!rig.logger->running());
        QCOMPARE(rig.stops, 1);
        QCOMPARE(rig.state, QStringLiteral("Logging stopped."));
        QCOMPARE(rig.lines().mid(0, 9).size(), 9);
    }

    // Recorder Options, opened from the window at 9600 Bd (seven reads of 500 ms: 3.5 s),
    // say when the period is shorter than the poll cycle, and follow the period as it changes.
    void optionsSayWhenThePeriodIsShorterThanTheCycle()
    {
        ScriptedPrompts prompts;
        clearStoredSettings();
        RecorderSettings::setPeriod(1);
        TMainForm form;
        form.setPersistSettings(false);
        QTimer::singleShot(0, form.recorderOptions(), &QDialog::reject);
        form.RecordOptions1Click();
        TForm_RecSettings *options = form.recorderOptions();
        const QString note = QStringLiteral("Shorter than the poll cycle: values change at most every 3.5 s at 9600 Bd. Rows "
                                            "in between repeat the latest values.");
        QCOMPARE(options->Label_CycleNote->text(), note);
        QVERIFY(!options->Label_CycleNote->isHidden());
        options->SpinEdit_Period->setValue(4);
        QVERIFY(options->Label_CycleNote->isHidden());
        options->SpinEdit_Period->setValue(3);
        QVERIFY(!options->Label_CycleNote->isHidden());
        options->setPollCycle(7 * 300, 115200);
        QVERIFY(options->Label_CycleNote->isHidden());
        options->SpinEdit_Period->setValue(2);
        QCOMPARE(options->Label_CycleNote->text(), QStringLiteral("Shorter than the poll cycle: values change at most every 2.1 s at "
                                                                  "115200 Bd. Rows in between repeat the latest values."));
    }

    void optionsPeriodRoundTripsAndAnUnsavedChangeIsPutBack()
    {
        clearStoredSettings();
        {
            TForm_RecSettings options;
            QCOMPARE(options.SpinEdit_Period->value(), 60);
            QCOMPARE(options.SpinEdit_Period->minimum(), 1);
            QVERIFY(!options.Button_SAVE->isEnabled());
            options.SpinEdit_Period->setValue(5);
            QVERIFY(options.Button_SAVE->isEnabled());
            options.Button_SAVE->click();
            QCOMPARE(options.period(), 5);
            options.SpinEdit_Period->setValue(120);
            options.reject();
            QCOMPARE(options.SpinEdit_Period->value(), 5);
            QVERIFY(!options.Button_SAVE->isEnabled());
        }
        QCOMPARE(RecorderSettings::period(), 5);
        TForm_RecSettings again;
        QCOMPARE(again.period(), 5);
    }

    // The plain form, chosen and saved in the options, is remembered and is the form the next
    // log is written in; an unsaved change of it is put back.
    void optionsPlainFormIsRememberedAndUsed()
    {
        clearStoredSettings();
        {
            TForm_RecSettings options;
            QVERIFY(!options.CheckBox_Plain->isChecked());
            options.CheckBox_Plain->setChecked(true);
            QVERIFY(options.Button_SAVE->isEnabled());
            options.Button_SAVE->click();
            QCOMPARE(options.form(), RecorderRows::Form::Plain);
            options.CheckBox_Plain->setChecked(false);
            options.reject();
            QVERIFY(options.CheckBox_Plain->isChecked());
        }
        QCOMPARE(RecorderSettings::form(), RecorderRows::Form::Plain);
        QVERIFY(TForm_RecSettings().CheckBox_Plain->isChecked());

        Rig rig;
        QVERIFY(rig.logger->StartInto(rig.dir.filePath(QStringLiteral("log.csv")), 1));
        const QStringList cells = rig.lines().value(7).split(QLatin1Char(','));
        QCOMPARE(cells.size(), 41);
        QVERIFY2(QDateTime::fromString(cells[0], Qt::ISODate).isValid(), qPrintable(cells[0]));
        QCOMPARE(cells[1], QStringLiteral("21.5"));
        clearStoredSettings();
    }
};

QTEST_MAIN(tst_Recorder)
#include "tst_Recorder.moc"
