// The window polling the simulated gateway on an in-memory line for many cycles, ticks driven
// directly, through an adapter that echoes every request and with every fault the simulator can
// put into an answer mixed in: answers lost, corrupted, cut short, lengthened, preceded by noise
// (some of it chosen so that a window of the answer's length ends in a right CRC), split into
// pieces, sent from another slave address, or replaced by an exception answer. Every block the
// window takes must hold the gateway's values of that moment, every sensor box must show what
// was last taken for it, the counters must say exactly what happened to the answers, and memory
// must stay flat.
//
// TARVIK_SOAK_CYCLES sets the number of poll cycles (default 20000; scripts/soak runs 100000).
#include "GatewaySimulator.h"
#include "MemoryGatewayLine.h"
#include "ScriptedPrompts.h"
#include "TFrame_Komunikace.h"
#include "TFrame_SensorBox.h"
#include "TMainForm.h"
#include "TTarvikKomunikator.h"
#include "TestHelpers.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QTest>
#include <cstdio>
#include <unistd.h>

// Under AddressSanitizer freed memory waits in quarantine, so the resident size grows anyway;
// that build checks for leaks itself.
#if defined(__SANITIZE_ADDRESS__)
#define TARVIK_MEASURES_MEMORY 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVIK_MEASURES_MEMORY 0
#endif
#endif
#ifndef TARVIK_MEASURES_MEMORY
#define TARVIK_MEASURES_MEMORY 1
#endif

namespace {

qint64 residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

int envInt(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// What each fault must come to: the answer taken (Rx), noise before it counted once (Err),
// or the request failed (one Err: a refused, broken, foreign or missing answer).
struct Outcome
{
    int rx = 0;
    int err = 0;
};
Outcome expectedOutcome(FaultInjector::Fault fault)
{
    using F = FaultInjector::Fault;
    switch (fault) {
    case F::None:
    case F::Extra: return {1, 0};
    case F::Garbage:
    case F::Collide: return {1, 1};
    case F::Drop:
    case F::Corrupt:
    case F::Truncate:
    case F::Foreign:
    case F::Exception: return {0, 1};
    }
    return {};
}

} // namespace

class tst_Soak : public QObject
{
    Q_OBJECT
private slots:
    void everyShownValueIsTheGatewaysAndTheCountersAreExact()
    {
        const int cycles = envInt("TARVIK_SOAK_CYCLES", 20000);
        const int baselineAt = qMin(10000, cycles / 2);
        clearStoredSettings();
        ScriptedPrompts prompts;
        QTemporaryFile device; // a port name the port list keeps
        QVERIFY(device.open());

        auto *toolEnd = new MemoryTransport;
        TMainForm form{std::unique_ptr<SerialTransport>(toolEnd)};
        form.setPersistSettings(false);
        GatewaySimulator::Options options;
        options.line.baudRate = 115200;
        options.paced = false;
        options.clock = false; // the test lets the gateway's time pass between cycles
        options.seed = quint32(envInt("TARVIK_SOAK_SEED", 20261208));
        options.echo = true;
        GatewaySimulator sim(std::make_unique<MemoryGatewayLine>(toolEnd), options);
        sim.model().loadDemoPopulation();
        FaultInjector::Rates rates;
        rates.drop = 0.08;
        rates.corrupt = 0.05;
        rates.truncate = 0.04;
        rates.extra = 0.04;
        rates.garbage = 0.04;
        rates.collide = 0.02;
        rates.foreign = 0.04;
        rates.exception = 0.05;
        rates.split = 0.30;
        sim.faults().setRates(rates);

        TTarvikKomunikator &master = *form.communicator();
        // What each sensor box must show: the channel's record in the last block taken.
        std::array<TChannelRecord, 40> shouldShow{};
        int blocks = 0;
        int wrongBlocks = 0;
        int wrongBoxes = 0;
        const auto windowsHandler = master.OnBlockReceived;
        master.OnBlockReceived = [&] {
            ++blocks;
            const uint16_t start = master.GetBlockAddress();
            QList<uint16_t> truth;
            QVERIFY(sim.model().read(start, PollBlockSize, truth) == GatewayModel::Access::Ok);
            std::array<uint16_t, PollBlockSize> got{};
            master.GetRegisters(got);
            if (QList<uint16_t>(got.begin(), got.end()) != truth)
                ++wrongBlocks;
            windowsHandler();
            if (start < ServiceRegs::Start) {
                std::array<uint16_t, PollBlockSize> t{};
                std::copy(truth.begin(), truth.end(), t.begin());
                const int first = start / ChannelMap::RecordSize + 1;
                for (int k = 0; k < ChannelMap::ChannelsPerBlock; ++k)
                    shouldShow[size_t(first + k - 1)] = TChannelRecord::fromBlock(t, k, first);
            }
        };

        // An RS-485 line, not the USB box: with it ticked, errors past a limit let go of the link.
        form.preselectPort(device.fileName());
        form.connectionPanel()->ComboBox_BaudRate->setCurrentIndex(13); // 115200 Bd
        form.Connect1Click();
        QVERIFY(master.Active());
        master.PollTimer().stop(); // the test drives the cycle
        // The window's line settings are the gateway's (else it would stay silent).
        QCOMPARE(toolEnd->settings().baudRate, options.line.baudRate);
        QCOMPARE(toolEnd->settings().parity, options.line.parity);
        QCOMPARE(toolEnd->settings().stopBits, options.line.stopBits);

        int expectedRx = 0;
        int expectedErr = 0;
        qint64 baselineKiB = -1;
        QElapsedTimer clock;
        clock.start();
        int ticks = 0;
        int requests = 0;
        // After the last faulty cycle one clean one, so that every faulty answer is settled.
        while (requests <= cycles && ticks < 5 * cycles + 100 && master.Active()) {
            if (requests == cycles)
                sim.faults().setRates({});
            const int answersBefore = sim.faults().counts().answers;
            master.PollTimerTick();
            ++ticks;
            for (int i = 0; i < 3; ++i)
                QCoreApplication::processEvents();
            if (sim.faults().counts().answers != answersBefore) {
                ++requests;
                const Outcome o = expectedOutcome(sim.faults().lastFault());
                expectedRx += o.rx;
                expectedErr += o.err;
                sim.model().advance(700);
            }
            for (int c = 0; c < 40; ++c) {
                if (form.sensorBoxes()[c]->lastRecord() != shouldShow[size_t(c)])
                    ++wrongBoxes;
            }
            if (requests == baselineAt && baselineKiB < 0)
                baselineKiB = residentKiB();
        }
        const qint64 endKiB = residentKiB();
        const double seconds = double(clock.elapsed()) / 1000;

        const FaultInjector::Counts &f = sim.faults().counts();
        const TCounterSnapshot c = master.Counters().Snapshot();
        std::printf("soak: %d poll cycles (%d ticks) in %.1f s, every request echoed; faults: %d lost, "
                    "%d corrupted, %d cut short, %d lengthened, %d after noise, %d after noise with a "
                    "CRC collision, %d from another address, %d exception answers, %d split; counters "
                    "Tx %d Rx %d Err %d (expected %d %d %d); blocks taken %d, wrong %d, wrong sensor "
                    "boxes %d; resident memory %lld KiB after %d cycles, %lld KiB at the end\n",
                    requests, ticks, seconds, f.dropped, f.corrupted, f.truncated, f.extended,
                    f.garbled, f.collided, f.foreign, f.exceptions, f.split, c.Tx, c.Rx, c.Err,
                    requests, expectedRx, expectedErr, blocks, wrongBlocks, wrongBoxes, baselineKiB,
                    baselineAt, endKiB);
        std::printf("gateway: %d frames, %d answered, %d at other line settings, %d broken\n",
                    sim.stats().frames, sim.stats().answered, sim.stats().wrongSettings, sim.stats().broken);
        std::fflush(stdout);

        QCOMPARE(requests, cycles + 1);
        QVERIFY(f.dropped > 0 && f.corrupted > 0 && f.truncated > 0 && f.extended > 0
                && f.garbled > 0 && f.collided > 0 && f.foreign > 0 && f.exceptions > 0 && f.split > 0);
        QCOMPARE(wrongBlocks, 0);
        QCOMPARE(wrongBoxes, 0);
        QCOMPARE(c.Tx, requests);
        QCOMPARE(c.Rx, expectedRx);
        QCOMPARE(c.Err, expectedErr);
        QCOMPARE(blocks, expectedRx);
        // Flat: a little slack for the allocator, nothing that grows with the cycles.
        if (TARVIK_MEASURES_MEMORY)
            QVERIFY2(endKiB - baselineKiB < 1024,
                     qPrintable(QStringLiteral("%1 KiB -> %2 KiB").arg(baselineKiB).arg(endKiB)));
        QVERIFY(prompts.texts(ScriptedPrompts::Kind::Error).isEmpty());
    }
};

QTEST_MAIN(tst_Soak)
#include "tst_Soak.moc"
