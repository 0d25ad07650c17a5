// tarvik-gateway-sim: a simulated gateway on a pseudo-terminal, for trying the tool and for
// checks with other Modbus masters. It makes --link a link to the terminal the tool opens,
// prints "ready PATH" once it listens, and runs until SIGINT or SIGTERM. SIGUSR1 takes the
// device of the first used channel off its line, or puts it back, and prints
// "channel N absent|present": a benchmark times how soon the change reaches the master's users.
// SIGUSR2 starts a stall of --stall seconds (default 5): the gateway reads nothing for that
// long, then answers every request that queued up. Each stall prints "stall N ms" as it begins.
#include "GatewaySimulator.h"
#include "PtyGatewayLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include "AtomicFile.h"
#include <QSocketNotifier>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

constexpr char kQuit = 1;
constexpr char kToggle = 2;
constexpr char kStall = 3;

void onSignal(int signal)
{
    const char byte = signal == SIGUSR1 ? kToggle : signal == SIGUSR2 ? kStall : kQuit;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &byte, 1);
}

// The device of the lowest used channel leaves its line, or comes back.
void toggleFirstDevice(GatewayModel &model)
{
    for (int c = 1; c <= 40; ++c) {
        const auto rom = model.assigned(c);
        if (!rom)
            continue;
        for (const SimDevice &d : model.devices()) {
            if (d.rom != *rom)
                continue;
            const bool present = !d.present;
            model.setDevicePresent(*rom, present);
            std::printf("channel %d %s\n", c, present ? "present" : "absent");
            std::fflush(stdout);
            return;
        }
    }
}

// A usage error: thrown so that everything made so far (the link above all) is undone on the
// way out; main prints it and ends with exit code 2.
struct UsageError
{
    QString message;
};

[[noreturn]] void usageError(const QString &message)
{
    throw UsageError{message};
}

double rateOption(const QCommandLineParser &p, const QString &name)
{
    if (!p.isSet(name))
        return 0;
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < 0 || v > 1)
        usageError(QStringLiteral("--%1 takes a probability from 0 to 1").arg(name));
    return v;
}

int wholeOption(const QCommandLineParser &p, const QString &name, int min, int max)
{
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < min || v > max)
        usageError(QStringLiteral("--%1 takes a whole number from %2 to %3").arg(name).arg(min).arg(max));
    return v;
}

// Seconds, in milliseconds (a fraction of a millisecond rounded up, so a stall is never 0).
int secondsOption(const QCommandLineParser &p, const QString &name)
{
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(v) || v <= 0 || v > 86400)
        usageError(QStringLiteral("--%1 takes a positive number of seconds up to 86400").arg(name));
    return int(std::ceil(v * 1000));
}

int run(QCoreApplication &app);

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    try {
        return run(app);
    } catch (const UsageError &e) {
        std::fprintf(stderr, "tarvik-gateway-sim: %s\n", qPrintable(e.message));
        return 2;
    }
}

namespace {

int run(QCoreApplication &app)
{
    QCoreApplication::setApplicationName(QStringLiteral("tarvik-gateway-sim"));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Simulated 1-Wire to Modbus RTU gateway on a pseudo-terminal."));
    p.addHelpOption();
    p.addOptions({
        {QStringLiteral("link"), QStringLiteral("Path of the link to the terminal the tool opens."), QStringLiteral("PATH")},
        {QStringLiteral("address"), QStringLiteral("Modbus address, 1-247 (default 1)."), QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("baud"), QStringLiteral("Line speed in Bd (default 9600)."), QStringLiteral("BD"), QStringLiteral("9600")},
        {QStringLiteral("parity"), QStringLiteral("none, odd or even (default none)."), QStringLiteral("P"), QStringLiteral("none")},
        {QStringLiteral("stopbits"), QStringLiteral("1 or 2 (default 1)."), QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("population"), QStringLiteral("demo, empty or a population file (default demo)."), QStringLiteral("WHAT"), QStringLiteral("demo")},
        {QStringLiteral("drop"), QStringLiteral("Probability of not answering a read."), QStringLiteral("P")},
        {QStringLiteral("corrupt"), QStringLiteral("Probability of a flipped bit in a read answer."), QStringLiteral("P")},
        {QStringLiteral("truncate"), QStringLiteral("Probability of a read answer cut short."), QStringLiteral("P")},
        {QStringLiteral("refuse"), QStringLiteral("Probability of a firmware data frame refused with exception 04."), QStringLiteral("P")},
        {QStringLiteral("foreign"), QStringLiteral("Probability of a read answer sent from another slave address."), QStringLiteral("P")},
        {QStringLiteral("exception"), QStringLiteral("Probability of a read answered with exception 04."), QStringLiteral("P")},
        {QStringLiteral("noise"), QStringLiteral("Probability of 1-3 random bytes before an answer, delivered in random pieces."), QStringLiteral("P")},
        {QStringLiteral("late"), QStringLiteral("Probability of any answer held back --late-ms beyond its usual moment; the answers behind it wait."), QStringLiteral("P")},
        {QStringLiteral("late-ms"), QStringLiteral("How long a late answer is held back, 1-600000 ms (default 1000)."), QStringLiteral("MS"), QStringLiteral("1000")},
        {QStringLiteral("stall"), QStringLiteral("Length of a stall: no reading of the line, then every queued request answered (default 5; SIGUSR2 starts one)."), QStringLiteral("SECONDS"), QStringLiteral("5")},
        {QStringLiteral("stall-every"), QStringLiteral("Stall once every SECONDS, the first after one period."), QStringLiteral("SECONDS")},
        {QStringLiteral("answer-delay"), QStringLiteral("Answer delay at start, 0-1000 ms (registers 1053 and 1054)."), QStringLiteral("MS")},
        {QStringLiteral("echo"), QStringLiteral("Echo every request before its answer, as a two-wire adapter does.")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the fault and drift generator (default 1)."), QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("image-out"), QStringLiteral("Where to write a received firmware image on exit."), QStringLiteral("FILE")},
        {QStringLiteral("timestamps"), QStringLiteral("Write each request's arrival (steady clock, ns) and function to FILE."), QStringLiteral("FILE")},
        {QStringLiteral("unpaced"), QStringLiteral("Send answers at once instead of at line speed.")},
    });
    // Every usage error, an unknown option included, ends with exit code 2.
    if (!p.parse(app.arguments()))
        usageError(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(p.helpText()), stdout);
        return 0;
    }
    if (!p.positionalArguments().isEmpty())
        usageError(QStringLiteral("unexpected argument \"%1\"").arg(p.positionalArguments().first()));

    if (!p.isSet(QStringLiteral("link")))
        usageError(QStringLiteral("--link PATH is required"));
    bool ok = false;
    GatewaySimulator::Options options;
    const int address = p.value(QStringLiteral("address")).toInt(&ok);
    if (!ok || address < 1 || address > 247)
        usageError(QStringLiteral("--address takes 1 to 247"));
    options.address = uint8_t(address);
    options.line.baudRate = p.value(QStringLiteral("baud")).toInt(&ok);
    if (!ok || options.line.baudRate < 50 || options.line.baudRate > 4000000)
        usageError(QStringLiteral("--baud takes a speed in Bd, e.g. 9600"));
    const QString parity = p.value(QStringLiteral("parity")).toLower();
    if (parity == QLatin1String("none"))
        options.line.parity = TParity::paNone;
    else if (parity == QLatin1String("odd"))
        options.line.parity = TParity::paOdd;
    else if (parity == QLatin1String("even"))
        options.line.parity = TParity::paEven;
    else
        usageError(QStringLiteral("--parity takes none, odd or even"));
    const QString stop = p.value(QStringLiteral("stopbits"));
    if (stop != QLatin1String("1") && stop != QLatin1String("2"))
        usageError(QStringLiteral("--stopbits takes 1 or 2"));
    options.line.stopBits = stop == QLatin1String("2") ? TStopBits::sbTwo : TStopBits::sbOne;
    options.seed = p.value(QStringLiteral("seed")).toUInt(&ok);
    if (!ok)
        usageError(QStringLiteral("--seed takes a whole number"));

    FaultInjector::Rates rates;
    rates.drop = rateOption(p, QStringLiteral("drop"));
    rates.corrupt = rateOption(p, QStringLiteral("corrupt"));
    rates.truncate = rateOption(p, QStringLiteral("truncate"));
    rates.refuse = rateOption(p, QStringLiteral("refuse"));
    rates.foreign = rateOption(p, QStringLiteral("foreign"));
    rates.exception = rateOption(p, QStringLiteral("exception"));
    rates.garbage = rateOption(p, QStringLiteral("noise"));
    if (rates.drop + rates.corrupt + rates.truncate + rates.foreign + rates.exception + rates.garbage > 1)
        usageError(QStringLiteral("--drop, --corrupt, --truncate, --foreign, --exception and --noise add up to more than 1"));
    // A late answer is not spoiled: it comes on top of the faults above.
    rates.late = rateOption(p, QStringLiteral("late"));
    rates.lateMs = wholeOption(p, QStringLiteral("late-ms"), 1, 600000);
    if (p.isSet(QStringLiteral("late-ms")) && !p.isSet(QStringLiteral("late")))
        usageError(QStringLiteral("--late-ms needs --late"));

    const int stallMs = secondsOption(p, QStringLiteral("stall"));
    if (p.isSet(QStringLiteral("stall-every"))) {
        if (!p.isSet(QStringLiteral("stall")))
            usageError(QStringLiteral("--stall-every needs --stall"));
        options.stallMs = stallMs;
        options.stallEveryMs = secondsOption(p, QStringLiteral("stall-every"));
        // Otherwise one stall would run into the next and the line would never be read.
        if (options.stallEveryMs <= options.stallMs)
            usageError(QStringLiteral("--stall-every must be longer than --stall"));
    }
    const int answerDelay = p.isSet(QStringLiteral("answer-delay")) ? wholeOption(p, QStringLiteral("answer-delay"), 0, 1000) : -1;

    std::unique_ptr<PtyGatewayLine> line;
    try {
        line = std::make_unique<PtyGatewayLine>();
        line->link().linkTo(p.value(QStringLiteral("link")));
    } catch (const std::exception &e) {
        usageError(QString::fromUtf8(e.what()));
    }
    options.paced = !p.isSet(QStringLiteral("unpaced"));
    options.echo = p.isSet(QStringLiteral("echo"));
    GatewaySimulator sim(std::move(line), options);
    QFile timestamps;
    if (p.isSet(QStringLiteral("timestamps"))) {
        timestamps.setFileName(p.value(QStringLiteral("timestamps")));
        if (!timestamps.open(QIODevice::WriteOnly | QIODevice::Truncate))
            usageError(QStringLiteral("cannot write %1: %2").arg(timestamps.fileName(), timestamps.errorString()));
        sim.OnRequest = [&timestamps](const QByteArray &frame, qint64 ns) {
            timestamps.write(QByteArray::number(ns) + ' ' + QByteArray::number(frame.size() > 1 ? uint8_t(frame[1]) : 0) + '\n');
            timestamps.flush();
        };
    }
    sim.faults().setRates(rates);
    if (answerDelay >= 0)
        sim.model().setAnswerDelay(uint16_t(answerDelay));
    sim.OnStall = [](int ms) {
        std::printf("stall %d ms\n", ms);
        std::fflush(stdout);
    };

    const QString population = p.value(QStringLiteral("population"));
    if (population == QLatin1String("demo")) {
        sim.model().loadDemoPopulation();
    } else if (population == QLatin1String("empty")) {
        sim.model().clearPopulation();
    } else {
        QString error;
        if (!sim.model().loadPopulationFile(population, &error))
            usageError(error);
    }

    if (::pipe(g_signalPipe) != 0) {
        std::fprintf(stderr, "tarvik-gateway-sim: cannot set up signal handling\n");
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char byte = kQuit;
        if (::read(g_signalPipe[0], &byte, 1) != 1)
            byte = kQuit;
        if (byte == kToggle)
            toggleFirstDevice(sim.model());
        else if (byte == kStall)
            sim.stall(stallMs);
        else
            QCoreApplication::quit();
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGUSR1, onSignal);
    std::signal(SIGUSR2, onSignal);

    std::printf("ready %s\n", qPrintable(p.value(QStringLiteral("link"))));
    std::fflush(stdout);
    const int status = app.exec();

    if (p.isSet(QStringLiteral("image-out"))) {
        const QString out = p.value(QStringLiteral("image-out"));
        QString error;
        if (!AtomicFile::write(out, sim.model().firmwareImage(), &error)) {
            std::fprintf(stderr, "tarvik-gateway-sim: cannot write %s: %s\n", qPrintable(out), qPrintable(error));
            return 1;
        }
    }
    return status;
}

} // namespace
