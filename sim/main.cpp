// tarvik-gateway-sim: simulated gateways on one line, for trying the tool and for checks with
// other Modbus masters. The line is a pseudo-terminal (--link makes a link to the terminal the
// tool opens), a raw TCP socket as a serial server gives (--tcp), a Modbus TCP server in front
// of it (--mbap), or any of them together: the same gateways answer on each. --address lists
// the gateways, one per address. It prints "ready" and where it can be reached once it listens,
// and runs until SIGINT or SIGTERM. SIGUSR1 takes the device of the first used channel of every
// gateway off its line, or puts it back, and prints "channel N absent|present" ("address A
// channel N ..." with several gateways): a benchmark times how soon the change reaches the
// master's users. SIGUSR2 starts a stall of --stall seconds (default 5): the gateways read
// nothing for that long, then answer every request that queued up. Each stall prints
// "stall N ms" as it begins.
#include "GatewayBus.h"
#include "ListenAddress.h"
#include "MbapServer.h"
#include "PtyGatewayLine.h"
#include "TcpGatewayLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include "AtomicFile.h"
#include <QSocketNotifier>
#include <QTimer>
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

// The device of the lowest used channel leaves its line, or comes back; prefix names the
// gateway when there are several.
void toggleFirstDevice(GatewayModel &model, const QByteArray &prefix)
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
            std::printf("%schannel %d %s\n", prefix.constData(), c, present ? "present" : "absent");
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

// Addresses 1-247, single or as ranges: "1", "1,2,5-8". Each at most once, in the order given.
QList<uint8_t> addressList(const QString &name, const QString &text)
{
    const QString wrong = QStringLiteral("--%1 takes 1 to 247, a list or ranges (e.g. 1,2,5-8)").arg(name);
    QList<uint8_t> addresses;
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.split(QLatin1Char('-'));
        if (ends.size() > 2)
            usageError(wrong);
        bool okFirst = false, okLast = false;
        const int first = ends.first().toInt(&okFirst);
        const int last = ends.last().toInt(&okLast);
        if (!okFirst || !okLast || first < 1 || last > 247 || first > last)
            usageError(wrong);
        for (int a = first; a <= last; ++a) {
            if (addresses.contains(uint8_t(a)))
                usageError(QStringLiteral("--%1 lists address %2 twice").arg(name).arg(a));
            addresses.append(uint8_t(a));
        }
    }
    return addresses;
}

// [HOST:]PORT of a server, loopback when HOST is left out.
ListenAddress listenOption(const QCommandLineParser &p, const QString &name)
{
    const auto address = ListenAddress::parse(p.value(name));
    if (!address)
        usageError(QStringLiteral("--%1 takes [HOST:]PORT, HOST an IP address or localhost, PORT 0-65535").arg(name));
    return *address;
}

// One population per gateway: one entry for all, or one per address in the order of
// --address. A file whose name has a comma in it is taken whole when it exists.
QStringList populations(const QString &text, qsizetype gateways)
{
    if (QFileInfo::exists(text))
        return QStringList(gateways, text);
    const QStringList entries = text.split(QLatin1Char(','));
    if (entries.size() == 1)
        return QStringList(gateways, text);
    if (entries.size() != gateways)
        usageError(QStringLiteral("--population takes one entry for all gateways or one for each address (%1)").arg(gateways));
    return entries;
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
    p.setApplicationDescription(QStringLiteral(
        "Simulated 1-Wire to Modbus RTU gateways on one line: a pseudo-terminal, a raw TCP socket "
        "(a serial server), a Modbus TCP server in front of the line, or all of them."));
    p.addHelpOption();
    p.addOptions({
        {QStringLiteral("link"), QStringLiteral("Path of the link to the terminal the tool opens."), QStringLiteral("PATH")},
        {QStringLiteral("tcp"), QStringLiteral("Serve the line as RTU frames over TCP, as a serial server in raw mode, on [HOST:]PORT (HOST default 127.0.0.1; PORT 0: a free one). Several clients may connect; each hears every answer."), QStringLiteral("[HOST:]PORT")},
        {QStringLiteral("mbap"), QStringLiteral("Serve the gateways over Modbus TCP on [HOST:]PORT, as a Modbus TCP-to-RTU gateway: the unit id selects the gateway, each request goes over the line in turn and its answer comes back whole, with the request's transaction id, once the line has carried it."), QStringLiteral("[HOST:]PORT")},
        {QStringLiteral("mbap-wait"), QStringLiteral("How long the Modbus TCP server waits for a gateway's answer before it answers exception 0B, 1-60000 ms (default 1000)."), QStringLiteral("MS"), QStringLiteral("1000")},
        {QStringLiteral("address"), QStringLiteral("Modbus addresses of the gateways on the line, 1-247: one, a list or ranges, e.g. 1,2,5-8 (default 1). Only the gateway addressed answers; nobody answers for another address."), QStringLiteral("LIST"), QStringLiteral("1")},
        {QStringLiteral("silent"), QStringLiteral("Gateways among --address that hear their requests but answer none, e.g. 3."), QStringLiteral("LIST")},
        {QStringLiteral("baud"), QStringLiteral("Line speed in Bd (default 9600)."), QStringLiteral("BD"), QStringLiteral("9600")},
        {QStringLiteral("parity"), QStringLiteral("none, odd or even (default none)."), QStringLiteral("P"), QStringLiteral("none")},
        {QStringLiteral("stopbits"), QStringLiteral("1 or 2 (default 1)."), QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("population"), QStringLiteral("demo, empty or a population file, for all gateways or one for each address separated by commas (default demo). With several gateways, demo gives the first address the demo population and each further one a variant: other serial numbers, temperatures half a degree higher a step."), QStringLiteral("WHAT"), QStringLiteral("demo")},
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
        {QStringLiteral("seed"), QStringLiteral("Seed of the fault and drift generator (default 1); the gateways after the first take the next numbers."), QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("image-out"), QStringLiteral("Where to write a received firmware image on exit (with several gateways, that of the first one that received one)."), QStringLiteral("FILE")},
        {QStringLiteral("timestamps"), QStringLiteral("Write each request's arrival (steady clock, ns) and function to FILE; with several gateways also the address it went to."), QStringLiteral("FILE")},
        {QStringLiteral("unpaced"), QStringLiteral("Send answers at once instead of at line speed.")},
    });
    p.setApplicationDescription(p.applicationDescription() + QStringLiteral(
        "\n\nFaults, the answer delay, stalls and the line settings apply to every gateway. Once "
        "listening it prints one line: \"ready\" and what it serves, in this order: the link's "
        "PATH, tcp://HOST:PORT and mbap://HOST:PORT (with port 0, the port the system picked)."));
    // Every usage error, an unknown option included, ends with exit code 2.
    if (!p.parse(app.arguments()))
        usageError(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(p.helpText()), stdout);
        return 0;
    }
    if (!p.positionalArguments().isEmpty())
        usageError(QStringLiteral("unexpected argument \"%1\"").arg(p.positionalArguments().first()));

    const bool onPty = p.isSet(QStringLiteral("link"));
    const bool onTcp = p.isSet(QStringLiteral("tcp"));
    const bool onMbap = p.isSet(QStringLiteral("mbap"));
    if (!onPty && !onTcp && !onMbap)
        usageError(QStringLiteral("--link PATH is required, or --tcp or --mbap"));
    const ListenAddress tcpAddress = onTcp ? listenOption(p, QStringLiteral("tcp")) : ListenAddress{};
    const ListenAddress mbapAddress = onMbap ? listenOption(p, QStringLiteral("mbap")) : ListenAddress{};
    const int mbapWait = wholeOption(p, QStringLiteral("mbap-wait"), 1, 60000);
    if (p.isSet(QStringLiteral("mbap-wait")) && !onMbap)
        usageError(QStringLiteral("--mbap-wait needs --mbap"));

    bool ok = false;
    const QList<uint8_t> addresses = addressList(QStringLiteral("address"), p.value(QStringLiteral("address")));
    const QList<uint8_t> silent = p.isSet(QStringLiteral("silent"))
                                      ? addressList(QStringLiteral("silent"), p.value(QStringLiteral("silent")))
                                      : QList<uint8_t>{};
    for (uint8_t a : silent)
        if (!addresses.contains(a))
            usageError(QStringLiteral("--silent names address %1, which --address does not list").arg(a));
    const bool several = addresses.size() > 1;

    GatewaySimulator::Options options;
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
    options.paced = !p.isSet(QStringLiteral("unpaced"));
    options.echo = p.isSet(QStringLiteral("echo"));
    // The models' time passes once here, however many lines reach them.
    options.clock = false;

    // One model per gateway, whichever lines it is reached over.
    const QStringList population = populations(p.value(QStringLiteral("population")), addresses.size());
    QList<std::shared_ptr<GatewayModel>> models;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        auto model = std::make_shared<GatewayModel>(options.seed + quint32(i));
        const QString &what = population[i];
        if (what == QLatin1String("demo")) {
            model->loadDemoPopulation(int(i));
        } else if (what == QLatin1String("empty")) {
            model->clearPopulation();
        } else {
            QString error;
            if (!model->loadPopulationFile(what, &error))
                usageError(error);
        }
        if (answerDelay >= 0)
            model->setAnswerDelay(uint16_t(answerDelay));
        models.append(std::move(model));
    }

    // The lines: each carries every gateway.
    std::vector<std::unique_ptr<GatewayBus>> buses; // the pseudo-terminal's and the raw TCP one
    std::unique_ptr<MbapServer> mbap;
    QStringList served;
    try {
        if (onPty) {
            auto line = std::make_unique<PtyGatewayLine>();
            line->link().linkTo(p.value(QStringLiteral("link")));
            buses.push_back(std::make_unique<GatewayBus>(std::move(line)));
            served.append(p.value(QStringLiteral("link")));
        }
    } catch (const std::exception &e) {
        usageError(QString::fromUtf8(e.what()));
    }
    QString listenError;
    if (onTcp) {
        auto line = std::make_unique<TcpGatewayLine>(options.line);
        if (!line->listen(tcpAddress.host, tcpAddress.port, &listenError)) {
            std::fprintf(stderr, "tarvik-gateway-sim: --tcp: %s\n", qPrintable(listenError));
            return 1;
        }
        served.append(line->toolPortName());
        buses.push_back(std::make_unique<GatewayBus>(std::move(line)));
    }
    if (onMbap) {
        mbap = std::make_unique<MbapServer>(options.line, mbapWait);
        if (!mbap->listen(mbapAddress.host, mbapAddress.port, &listenError)) {
            std::fprintf(stderr, "tarvik-gateway-sim: --mbap: %s\n", qPrintable(listenError));
            return 1;
        }
        served.append(mbap->url());
    }
    QList<GatewayBus *> lines;
    for (const auto &bus : buses)
        lines.append(bus.get());
    if (mbap)
        lines.append(&mbap->bus());

    QList<GatewaySimulator *> sims;
    for (GatewayBus *bus : std::as_const(lines)) {
        for (qsizetype i = 0; i < addresses.size(); ++i) {
            GatewaySimulator::Options own = options;
            own.address = addresses[i];
            own.seed = options.seed + quint32(i);
            GatewaySimulator *sim = bus->addGateway(own, models[i]);
            sim->faults().setRates(rates);
            sim->setSilent(silent.contains(own.address));
            sims.append(sim);
        }
    }

    QFile timestamps;
    if (p.isSet(QStringLiteral("timestamps"))) {
        timestamps.setFileName(p.value(QStringLiteral("timestamps")));
        if (!timestamps.open(QIODevice::WriteOnly | QIODevice::Truncate))
            usageError(QStringLiteral("cannot write %1: %2").arg(timestamps.fileName(), timestamps.errorString()));
        // Every gateway on a line hears every request: the first one of each line writes it.
        for (GatewayBus *bus : std::as_const(lines))
            bus->gateways().first()->OnRequest = [&timestamps, several](const QByteArray &frame, qint64 ns) {
                QByteArray line = QByteArray::number(ns) + ' ' + QByteArray::number(frame.size() > 1 ? uint8_t(frame[1]) : 0);
                if (several)
                    line += ' ' + QByteArray::number(frame.isEmpty() ? 0 : uint8_t(frame[0]));
                timestamps.write(line + '\n');
                timestamps.flush();
            };
    }
    // All gateways stall together; one line says so.
    sims.first()->OnStall = [](int ms) {
        std::printf("stall %d ms\n", ms);
        std::fflush(stdout);
    };
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, &app, [&models] {
        for (const auto &m : std::as_const(models))
            m->advance(1000);
    });
    clock.start(1000);

    if (::pipe(g_signalPipe) != 0) {
        std::fprintf(stderr, "tarvik-gateway-sim: cannot set up signal handling\n");
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char byte = kQuit;
        if (::read(g_signalPipe[0], &byte, 1) != 1)
            byte = kQuit;
        if (byte == kToggle) {
            for (qsizetype i = 0; i < models.size(); ++i)
                toggleFirstDevice(*models[i], several ? "address " + QByteArray::number(addresses[i]) + ' ' : QByteArray());
        } else if (byte == kStall) {
            for (GatewaySimulator *sim : std::as_const(sims))
                sim->stall(stallMs);
        } else {
            QCoreApplication::quit();
        }
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGUSR1, onSignal);
    std::signal(SIGUSR2, onSignal);

    std::printf("ready %s\n", qPrintable(served.join(QLatin1Char(' '))));
    std::fflush(stdout);
    const int status = app.exec();

    if (p.isSet(QStringLiteral("image-out"))) {
        const QString out = p.value(QStringLiteral("image-out"));
        QString error;
        // The image of the first gateway that received one (with several on the line, the one
        // the update went to).
        const GatewayModel *updated = models.first().get();
        for (const auto &m : std::as_const(models))
            if (!m->firmwareImage().isEmpty()) {
                updated = m.get();
                break;
            }
        if (!AtomicFile::write(out, updated->firmwareImage(), &error)) {
            std::fprintf(stderr, "tarvik-gateway-sim: cannot write %s: %s\n", qPrintable(out), qPrintable(error));
            return 1;
        }
    }
    return status;
}

} // namespace
