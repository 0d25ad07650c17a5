// A firmware update from the command line against the simulated gateway: a 10 KiB image
// arrives byte for byte although a fifth of the answers are lost, a 1 KiB one although a fifth
// come late and the gateway stalls twice; Ctrl+C stops it after the frame in flight; a gateway
// that refuses every write or falls silent ends it; without --yes and without a terminal
// nothing is written.
#include "CliProcess.h"
#include "SimOnPty.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QHash>
#include <QTest>

namespace {
constexpr int kImageSize = 10 * 1024;
// The protocol's own pace (300 ms a frame) would take 50 s here; the test gives 20 ms.
const QString kPace = QStringLiteral("--pace-ms=20");

QByteArray writeImage(const QString &path, int size = kImageSize)
{
    QByteArray image(size, Qt::Uninitialized);
    QRandomGenerator rng(42);
    for (char &c : image)
        c = char(rng.bounded(256));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(image);
    return image;
}
} // namespace

class tst_CliFirmwareOnPty : public QObject
{
    Q_OBJECT
private slots:
    void imageArrivesWholeThroughDroppedAnswers()
    {
        GatewaySimulator::Options options = SimOnPty::defaults();
        options.seed = 7;
        SimOnPty gw(options);
        FaultInjector::Rates rates;
        rates.drop = 0.2;
        gw.sim->faults().setRates(rates);
        const QString path = gw.dir.filePath(QStringLiteral("gateway.bin"));
        const QByteArray image = writeImage(path);

        const auto r = CliProcess::run(gw.line() + QStringList{"firmware", path, "--yes", kPace});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith(QStringLiteral("Gateway FW version: V1.09\nMemory programming done.")), qPrintable(r.out));
        QVERIFY(gw.sim->faults().counts().dropped > 10);
        const QByteArray received = gw.model().firmwareImage();
        QVERIFY(received.left(kImageSize) == image);
        QCOMPARE(received.mid(kImageSize), QByteArray(received.size() - kImageSize, char(0xFF)));
        QCOMPARE(gw.model().erasedPages().first(), uint16_t(32));
        QCOMPARE(gw.model().erasedPages().last(), uint16_t(62));
    }

    // Answers held back beyond their time, and a gateway that stops reading its line for a
    // while (at the erase of page 40 and at the data frame at 384) and then answers its queue:
    // such answers come while another frame's answer is awaited and must never stand for it.
    // Every other data frame is refused (and not stored) the first time, so a frame taken as
    // confirmed by another frame's answer leaves a hole.
    void imageArrivesWholeThroughLateAnswersAndStalls()
    {
        GatewaySimulator::Options options = SimOnPty::defaults();
        options.seed = 5;
        SimOnPty gw(options);
        FaultInjector::Rates rates;
        rates.late = 0.2;
        rates.lateMs = 90; // a data frame's answer may take 69 ms at 115.2 kBd
        gw->faults().setRates(rates);
        QHash<QByteArray, bool> seen;
        gw->RequestFate = [&](const QByteArray &frame) {
            // The first send of a frame only; the field is an erase's page or a data offset.
            const int field = frame.size() >= 11 ? uint8_t(frame[7]) << 8 | uint8_t(frame[8]) : -1;
            if (field < 0 || std::exchange(seen[frame], true))
                return GatewaySimulator::Fate::Answer;
            if (field == 40 || field == 384)
                gw->stall(300);
            return frame.size() == 203 && field % 384 == 192 ? GatewaySimulator::Fate::Refuse : GatewaySimulator::Fate::Answer;
        };
        const QString path = gw.dir.filePath(QStringLiteral("gateway.bin"));
        const QByteArray image = writeImage(path, 1024);

        const auto r = CliProcess::run(gw.line() + QStringList{"firmware", path, "--yes", kPace});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(gw->faults().counts().late > 5);
        QCOMPARE(gw->stats().stalls, 2);
        const QByteArray received = gw.model().firmwareImage();
        QVERIFY(received.left(image.size()) == image);
        QCOMPARE(received.mid(image.size()), QByteArray(received.size() - image.size(), char(0xFF)));
        for (uint16_t page = 32; page <= 62; ++page)
            QVERIFY(gw.model().erasedPages().contains(page));
    }

    void ctrlCStopsAfterTheFrameInFlightAndSaysWhatIsLeft()
    {
        SimOnPty gw;
        const QString path = gw.dir.filePath(QStringLiteral("gateway.bin"));
        writeImage(path);
        CliProcess update;
        update.start(gw.line() + QStringList{"firmware", path, "--yes", kPace});
        QVERIFY(QTest::qWaitFor([&] { return gw.model().firmwareImage().size() >= 4 * 192; }, 20000));
        update.interrupt();
        const auto r = update.finish(10000);
        QCOMPARE(r.exitCode, 1);
        // What the gateway confirmed: what it holds, less the frame in flight if its answer was late.
        const auto account = QRegularExpression(QStringLiteral("stopped: (\\d+) of 10240 bytes are written: .*PGM switch ON")).match(r.err);
        const qsizetype held = gw.model().firmwareImage().size();
        QVERIFY2(account.hasMatch() && qBound(held - 192, account.captured(1).toLongLong(), held) == account.captured(1).toLongLong(), qPrintable(r.err));
        // Nothing more reaches the gateway once the command has ended.
        const int frames = gw.sim->stats().frames;
        QTest::qWait(200);
        QCOMPARE(gw.sim->stats().frames, frames);
    }

    // A gateway that refuses every write (its reads answered in between) is given up on after
    // 15 refusals of the same frame, one silent from the first erase on after --timeout.
    void aGatewayThatTakesNoWriteEndsTheUpdate_data()
    {
        QTest::addColumn<bool>("refuse"); // else silent
        QTest::addColumn<QString>("message");
        QTest::newRow("refusing") << true << "The gateway refused the erase of page 32 15 times in a row (exception 04): nothing was written.";
        QTest::newRow("silent") << false << ") for 1000 ms: nothing was written.";
    }
    void aGatewayThatTakesNoWriteEndsTheUpdate()
    {
        QFETCH(bool, refuse);
        QFETCH(QString, message);
        SimOnPty gw;
        bool writing = false;
        gw->RequestFate = [&](const QByteArray &frame) {
            using enum GatewaySimulator::Fate;
            const bool write = uint8_t(frame[1]) == 0x10;
            writing = writing || write;
            return !writing ? Answer : !refuse ? Ignore : write ? Refuse : Answer;
        };
        const QString path = gw.dir.filePath(QStringLiteral("gateway.bin"));
        writeImage(path);
        const auto r = CliProcess::run(gw.line() + QStringList{"--timeout", "1000", "firmware", path, "--yes", kPace}, 20000);
        QVERIFY2(r.finished && r.ms < 10000 && r.exitCode == 1 && r.err.contains(message), qPrintable(r.err));
        QVERIFY(gw.model().erasedPages().isEmpty());
    }

    void withoutYesAndWithoutATerminalNothingIsWritten()
    {
        SimOnPty gw;
        const QString path = gw.dir.filePath(QStringLiteral("gateway.bin"));
        writeImage(path);
        const auto r = CliProcess::run(gw.line() + QStringList{"firmware", path, kPace});
        QCOMPARE(r.exitCode, 2);
        // The question names the file, its size, and the frames and time at the pace given.
        QVERIFY2(r.err.contains(QStringLiteral("Program the device memory with gateway.bin (10,240 bytes, 85 frames, about 2 s)? "
                                               "[y/N] (not asked")),
                 qPrintable(r.err));
        QVERIFY(gw.model().erasedPages().isEmpty());
        QVERIFY(gw.model().firmwareImage().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_CliFirmwareOnPty)
#include "tst_CliFirmwareOnPty.moc"
