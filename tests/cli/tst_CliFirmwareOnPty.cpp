// A firmware update from the command line against the simulated gateway: a 10 KiB image
// arrives byte for byte although a fifth of the answers are lost; Ctrl+C stops it after the
// frame in flight; without --yes and without a terminal nothing is written.
#include "CliProcess.h"
#include "SimOnPty.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

namespace {
constexpr int kImageSize = 10 * 1024;
// The protocol's own pace (300 ms a frame) would take 50 s here; the test gives 20 ms.
const QString kPace = QStringLiteral("--pace-ms=20");

QByteArray writeImage(const QString &path)
{
    QByteArray image(kImageSize, Qt::Uninitialized);
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
        QVERIFY2(r.err.contains(QStringLiteral("Firmware update stopped: about ")) && r.err.contains(QStringLiteral(" of 10240 bytes are written"))
                     && r.err.contains(QStringLiteral("Do not restart it with the PGM switch ON")),
                 qPrintable(r.err));
        // Nothing more reaches the gateway once the command has ended.
        const int frames = gw.sim->stats().frames;
        QTest::qWait(200);
        QCOMPARE(gw.sim->stats().frames, frames);
    }

    void withoutYesAndWithoutATerminalNothingIsWritten()
    {
        SimOnPty gw;
        const QString path = gw.dir.filePath(QStringLiteral("gateway.bin"));
        writeImage(path);
        const auto r = CliProcess::run(gw.line() + QStringList{"firmware", path, kPace});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(QStringLiteral("Program the device memory? [y/N] (not asked")), qPrintable(r.err));
        QVERIFY(gw.model().erasedPages().isEmpty());
        QVERIFY(gw.model().firmwareImage().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_CliFirmwareOnPty)
#include "tst_CliFirmwareOnPty.moc"
