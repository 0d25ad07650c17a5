// One tool per user: a second start exits 0 showing nothing, and the first is told to come
// forward.
#include "SingleInstance.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class tst_SingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondStartExitsAndActivatesTheFirst()
    {
        QTemporaryDir tmp;
        qputenv("TMPDIR", tmp.path().toLocal8Bit()); // keep the lock and socket to this test
        SingleInstance first(SingleInstance::nameForCurrentUser());
        QVERIFY(first.tryBecomePrimary());
        QSignalSpy activations(&first, &SingleInstance::activateRequested);

        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmp.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.filePath(QStringLiteral("config")));
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(TARVIK_TOOL_EXE), {});
        QVERIFY(second.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(QTest::qWaitFor([&] { return activations.size() == 1; }, 3000));
    }

    void commandLineIsAnsweredBeforeAnyWindow_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("display");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::newRow("help") << QStringList{"--help"} << false << 0 << "Usage: tarvik-tool [--port NAME] [--connect] [--demo] [--traffic-monitor] [--trend-chart]";
        QTest::newRow("unknown option") << QStringList{"--speed"} << true << 2 << "Unknown option 'speed'";
        QTest::newRow("no display") << QStringList{"--demo"} << false << 2 << "no display to show the window on";
    }
    void commandLineIsAnsweredBeforeAnyWindow()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, display);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        if (display)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess tool;
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(TARVIK_TOOL_EXE), args);
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), exitCode);
        const QByteArray text = tool.readAllStandardOutput() + tool.readAllStandardError();
        QVERIFY2(text.contains(output.toUtf8()), text.constData());
    }

    void theFirstOfTwoInOneFolderWins()
    {
        QTemporaryDir tmp;
        qputenv("TMPDIR", tmp.path().toLocal8Bit());
        SingleInstance a(QStringLiteral("tarvik-test-instance"));
        SingleInstance b(QStringLiteral("tarvik-test-instance"));
        QVERIFY(a.tryBecomePrimary());
        QSignalSpy activations(&a, &SingleInstance::activateRequested);
        QVERIFY(!b.tryBecomePrimary());
        QVERIFY(QTest::qWaitFor([&] { return activations.size() == 1; }, 3000));
    }
};

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_SingleInstance.moc"
