// The window polling the simulated gateway on an in-memory line for many cycles, ticks driven
// directly, through an adapter that echoes every request and with every fault the simulator can
// put into an answer mixed in: answers lost, corrupted, cut short, lengthened, preceded by noise
// (some of it chosen so that a window of the answer's length ends in a right CRC), split into
// pieces, sent from another slave address, or replaced by an exception answer; and then the
// same with answers held back past their time and a gateway that stalls and answers its queue.
// Every block the window takes must hold the gateway's values of that block as it answered a
// request for it, every sensor box must show what was last taken for it, the counters must say
// exactly what happened to the answers (where no answer is late), and memory must stay flat.
//
// TARVIK_SOAK_CYCLES sets the number of poll cycles of each run (default 20000 and 5000;
// scripts/soak runs 100000 of each).
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
#include <QHash>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>
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
// or the request failed (one Err: a refused, broken, foreign, doubtful or missing answer).
struct Outcome
{
    int rx = 0;
    int err = 0;
};
Outcome expectedOutcome(FaultInjector::Fault fault)
{
    using F = FaultInjector::Fault;
    switch (fault) {
    case F::None: return {1, 0};
    case F::Garbage:
    case F::Collide: return {1, 1};
    case F::Drop:
    case F::Corrupt:
    case F::Truncate:
    case F::Extra: // bytes behind an answer put it in doubt
    case F::Foreign:
    case F::Exception: return {0, 1};
    }
    return {};
}

FaultInjector::Rates mixedFaults()
{
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
    return rates;
}

// The window on an in-memory line to the simulated gateway at 115.2 kBd, its cycle driven by
// the test. Every block the window takes is checked against what the gateway held for that
// block when it answered a request for it.
struct Soak
{
    ScriptedPrompts prompts;
    QTemporaryFile device; // a port name the port list keeps
    MemoryTransport *toolEnd = new MemoryTransport;
    TMainForm form{std::unique_ptr<SerialTransport>(toolEnd)};
    GatewaySimulator::Options options;
    std::unique_ptr<GatewaySimulator> sim;
    TTarvikKomunikator *master = nullptr;

    // The gateway's image of each block at each request for it, newest last: a late answer
    // carries the values of its request's moment.
    QHash<uint16_t, QList<QList<uint16_t>>> answeredImages;
    // What each sensor box must show: the channel's record in the last block taken.
    std::array<TChannelRecord, 40> shouldShow{};
    int blocks = 0;
    int wrongBlocks = 0;
    int staleBlocks = 0; // right block, values of an earlier request of it
    int wrongBoxes = 0;
    int requests = 0;
    int ticks = 0;

    explicit Soak(quint32 seed)
    {
        clearStoredSettings();
        QVERIFY(device.open());
        form.setPersistSettings(false);
        options.line.baudRate = 115200;
        options.paced = false;
        options.clock = false; // the test lets the gateway's time pass between cycles
        options.seed = seed;
        options.echo = true;
        sim = std::make_unique<GatewaySimulator>(std::make_unique<MemoryGatewayLine>(toolEnd), options);
        sim->model().loadDemoPopulation();
        sim->OnRequest = [this](const QByteArray &frame, qint64) {
            if (frame.size() < 8 || frame[1] != 0x03)
                return;
            const auto start = uint16_t(uint8_t(frame[2]) << 8 | uint8_t(frame[3]));
            QList<uint16_t> image;
            QVERIFY(sim->model().read(start, PollBlockSize, image) == GatewayModel::Access::Ok);
            QList<QList<uint16_t>> &images = answeredImages[start];
            images.append(image);
            if (images.size() > 64)
                images.removeFirst();
        };

        master = form.communicator();
        const auto windowsHandler = master->OnBlockReceived;
        master->OnBlockReceived = [this, windowsHandler] {
            ++blocks;
            const uint16_t start = master->GetBlockAddress();
            std::array<uint16_t, PollBlockSize> got{};
            master->GetRegisters(got);
            const QList<uint16_t> taken(got.begin(), got.end());
            const QList<QList<uint16_t>> &images = answeredImages[start];
            if (!images.contains(taken))
                ++wrongBlocks;
            else if (images.last() != taken)
                ++staleBlocks;
            windowsHandler();
            if (start < ServiceRegs::Start) {
                const int first = start / ChannelMap::RecordSize + 1;
                for (int k = 0; k < ChannelMap::ChannelsPerBlock; ++k)
                    shouldShow[size_t(first + k - 1)] = TChannelRecord::fromBlock(got, k, first);
            }
        };

        // An RS-485 line, not the USB box: with it ticked, errors past a limit let go of the link.
        form.preselectPort(device.fileName());
        form.connectionPanel()->ComboBox_BaudRate->setCurrentIndex(13); // 115200 Bd
        form.Connect1Click();
        QVERIFY(master->Active());
        master->PollTimer().stop(); // the test drives the cycle
        // The window's line settings are the gateway's (else it would stay silent).
        QCOMPARE(toolEnd->settings().baudRate, options.line.baudRate);
        QCOMPARE(toolEnd->settings().parity, options.line.parity);
        QCOMPARE(toolEnd->settings().stopBits, options.line.stopBits);
    }

    // One tick of the cycle and what the gateway makes of it; true when a request went out.
    bool tick()
    {
        const int framesBefore = sim->stats().frames;
        master->PollTimerTick();
        ++ticks;
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        for (int c = 0; c < 40; ++c) {
            if (form.sensorBoxes()[c]->lastRecord() != shouldShow[size_t(c)])
                ++wrongBoxes;
        }
        if (sim->stats().frames == framesBefore)
            return false;
        ++requests;
        sim->model().advance(700);
        return true;
    }
};

} // namespace

class tst_Soak : public QObject
{
    Q_OBJECT
private slots:
    void everyShownValueIsTheGatewaysAndTheCountersAreExact()
    {
        const int cycles = envInt("TARVIK_SOAK_CYCLES", 20000);
        const int baselineAt = qMin(10000, cycles / 2);
        Soak soak(quint32(envInt("TARVIK_SOAK_SEED", 20261208)));
        soak.sim->faults().setRates(mixedFaults());

        int expectedRx = 0;
        int expectedErr = 0;
        qint64 baselineKiB = -1;
        QElapsedTimer clock;
        clock.start();
        // After the last faulty cycle one clean one, so that every faulty answer is settled.
        while (soak.requests <= cycles && soak.ticks < 5 * cycles + 100 && soak.master->Active()) {
            if (soak.requests == cycles)
                soak.sim->faults().setRates({});
            const int answersBefore = soak.sim->faults().counts().answers;
            soak.tick();
            if (soak.sim->faults().counts().answers != answersBefore) {
                const Outcome o = expectedOutcome(soak.sim->faults().lastFault());
                expectedRx += o.rx;
                expectedErr += o.err;
            }
            if (soak.requests == baselineAt && baselineKiB < 0)
                baselineKiB = residentKiB();
        }
        const qint64 endKiB = residentKiB();
        const double seconds = double(clock.elapsed()) / 1000;

        const FaultInjector::Counts &f = soak.sim->faults().counts();
        const TCounterSnapshot c = soak.master->Counters().Snapshot();
        // The answer to the last request is passed on when the next one goes out.
        const int heldBack = 1;
        std::printf("soak: %d poll cycles (%d ticks) in %.1f s, every request echoed; faults: %d lost, "
                    "%d corrupted, %d cut short, %d lengthened, %d after noise, %d after noise with a "
                    "CRC collision, %d from another address, %d exception answers, %d split; counters "
                    "Tx %d Rx %d Err %d (expected %d %d %d); blocks taken %d, wrong %d, wrong sensor "
                    "boxes %d; resident memory %lld KiB after %d cycles, %lld KiB at the end\n",
                    soak.requests, soak.ticks, seconds, f.dropped, f.corrupted, f.truncated, f.extended,
                    f.garbled, f.collided, f.foreign, f.exceptions, f.split, c.Tx, c.Rx, c.Err,
                    soak.requests, expectedRx - heldBack, expectedErr, soak.blocks, soak.wrongBlocks,
                    soak.wrongBoxes, baselineKiB, baselineAt, endKiB);
        std::fflush(stdout);

        QCOMPARE(soak.requests, cycles + 1);
        QVERIFY(f.dropped > 0 && f.corrupted > 0 && f.truncated > 0 && f.extended > 0
                && f.garbled > 0 && f.collided > 0 && f.foreign > 0 && f.exceptions > 0 && f.split > 0);
        QCOMPARE(soak.wrongBlocks, 0);
        QCOMPARE(soak.staleBlocks, 0);
        QCOMPARE(soak.wrongBoxes, 0);
        QCOMPARE(c.Tx, soak.requests);
        QCOMPARE(c.Rx, expectedRx - heldBack);
        QCOMPARE(c.Err, expectedErr);
        QCOMPARE(soak.blocks, expectedRx - heldBack);
        // Flat: a little slack for the allocator, nothing that grows with the cycles.
        if (TARVIK_MEASURES_MEMORY)
            QVERIFY2(endKiB - baselineKiB < 1024,
                     qPrintable(QStringLiteral("%1 KiB -> %2 KiB").arg(baselineKiB).arg(endKiB)));
        QVERIFY(soak.prompts.texts(ScriptedPrompts::Kind::Error).isEmpty());
    }

    // Answers held back past their time (real milliseconds, while the test plays the cycle's
    // timer twenty times faster, so they come in at any point of the cycle), and
    // a gateway that stops reading now and then and answers its queue at once, on top of the
    // same faults: no block is ever taken for another, and the cycle keeps coming round.
    void lateAnswersAndStallsNeverMakeAWrongBlock()
    {
        const int cycles = envInt("TARVIK_SOAK_CYCLES", 5000);
        Soak soak(quint32(envInt("TARVIK_SOAK_SEED", 20261208)) + 1);
        FaultInjector::Rates rates = mixedFaults();
        rates.late = 0.02;
        rates.lateMs = 15;
        soak.sim->faults().setRates(rates);
        constexpr int kStallEvery = 1000;
        constexpr int kStallMs = 40;

        QElapsedTimer clock;
        clock.start();
        int stallsAt = kStallEvery;
        while (soak.requests < cycles && soak.ticks < 50 * cycles && soak.master->Active()) {
            if (soak.requests >= stallsAt) {
                soak.sim->stall(kStallMs);
                stallsAt += kStallEvery;
            }
            // While the gateway holds an answer back, or does not read, its time passes too:
            // a twentieth of each idle interval, so that 15 ms is about one poll interval.
            if (!soak.tick() && (soak.sim->busy() || soak.sim->stalled()))
                QThread::usleep(unsigned(qBound(100, soak.master->PollTimer().interval() * 50, 50000)));
        }
        const double seconds = double(clock.elapsed()) / 1000;
        const FaultInjector::Counts &f = soak.sim->faults().counts();
        std::printf("soak with late answers and stalls: %d poll cycles (%d ticks) in %.1f s; %d answers late, "
                    "%d stalls; blocks taken %d (%d of them from an earlier request of the same block), wrong "
                    "%d, wrong sensor boxes %d; %d answers in doubt, %d bursts of old bytes\n",
                    soak.requests, soak.ticks, seconds, f.late, soak.sim->stats().stalls, soak.blocks,
                    soak.staleBlocks, soak.wrongBlocks, soak.wrongBoxes, soak.master->DoubtfulAnswers(),
                    soak.master->OldBursts());
        std::fflush(stdout);

        QCOMPARE(soak.requests, cycles);
        QVERIFY(f.late > 0 && soak.sim->stats().stalls > 0);
        QCOMPARE(soak.wrongBlocks, 0);
        QCOMPARE(soak.wrongBoxes, 0);
        // The faults cost cycles, but most requests still bring a block.
        QVERIFY2(soak.blocks > cycles / 2, qPrintable(QString::number(soak.blocks)));
        QVERIFY(soak.prompts.texts(ScriptedPrompts::Kind::Error).isEmpty());
    }
};

QTEST_MAIN(tst_Soak)
#include "tst_Soak.moc"
