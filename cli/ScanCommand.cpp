#include "ScanCommand.h"

#include "ChannelText.h"
#include "CliContext.h"
#include "CliFailure.h"
#include "CliOptions.h"
#include "CommandArgs.h"
#include "ComPortError.h"
#include "Console.h"
#include "EventWait.h"
#include "ModbusCrc.h"
#include "ModbusException.h"
#include "RegisterMap.h"
#include "TModbusKomunikator.h"
#include "ValueParser.h"

#include <cmath>

namespace {

constexpr uint8_t kRead = 0x03;

QByteArray versionRequest(int address)
{
    const char request[] = {char(address), char(kRead), char(ServiceRegs::FirmwareVersion >> 8),
                            char(ServiceRegs::FirmwareVersion & 0xFF), 0, 1};
    return ModbusCrc::appended(QByteArray(request, sizeof request));
}

} // namespace

ScanCommand::ScanCommand(CliContext &ctx) : m_ctx(ctx), m_link(ctx.options.link)
{
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_over = true;
        m_ctx.wait.check();
    });
    m_link.port().OnDataRecived = [this](TAfComPort *, int) { onData(); };
    m_sinceByte.start();
}

QList<qint32> ScanCommand::commonFirst()
{
    return {9600, 19200, 115200, 38400, 57600, 4800, 2400, 1200, 14400, 28800, 76800, 230400, 56000, 128000, 7200, 1800};
}

int ScanCommand::probeTimeoutMs(const LineSettings &line)
{
    // The gateway's answer delay is not known before it answered: it may be set up to 200 ms.
    return AnswerMatcher(versionRequest(1)).exchangeOnLineMs(line.charTimeUs()) + TModbusKomunikator::UnknownAnswerDelayMs
           + TModbusKomunikator::AnswerMarginMs;
}

int ScanCommand::quietMs(const LineSettings &line)
{
    return int(std::ceil(3.5 * double(line.charTimeUs()) / 1000.0)) + TModbusKomunikator::AnswerMarginMs;
}

int ScanCommand::run(CliContext &ctx)
{
    CommandArgs args(ctx.options.command, ctx.options.arguments);
    const auto bauds = args.value(QStringLiteral("bauds"));
    const auto addressText = args.value(QStringLiteral("addresses"));
    args.finish();
    const QList<qint32> speeds = bauds ? ValueParser::baudRates(*bauds) : commonFirst();
    QList<int> addresses = addressText ? ValueParser::addresses(*addressText) : QList<int>();
    if (addresses.isEmpty())
        for (int a = 1; a <= 247; ++a)
            addresses.append(a);

    ScanCommand scan(ctx);
    scan.m_link.open();
    QElapsedTimer clock;
    clock.start();
    const qsizetype total = addresses.size() * speeds.size();
    int tried = 0;
    int gateways = 0;
    QStringList found; // the gateways' addresses
    std::optional<qint32> lineSpeed;
    for (int address : std::as_const(addresses)) {
        for (qint32 baud : speeds) {
            if (lineSpeed && baud != *lineSpeed)
                continue;
            ctx.console.progress(QStringLiteral("Trying %1 Bd, address %2 (%3 of at most %4)").arg(baud).arg(address).arg(tried + 1).arg(total));
            const LineSettings line{baud, ctx.options.link.parity, ctx.options.link.stopBits};
            const int timeoutMs = ctx.options.link.timeoutMs.value_or(probeTimeoutMs(line) + scan.m_link.port().answerAllowanceMs());
            auto answer = scan.probe(baud, address, timeoutMs);
            if (scan.m_interrupted)
                throw CliFailure::failure(QStringLiteral("Interrupted after %1 speed and address pairs.").arg(tried));
            ++tried;
            if (!answer)
                continue;
            // A stranger's frame that happens to fit, or an answer that came late from another
            // speed, does not answer a second time: only what does is reported.
            ctx.console.progress(QStringLiteral("Asking %1 Bd, address %2 again").arg(baud).arg(address));
            answer = scan.probe(baud, address, timeoutMs);
            if (scan.m_interrupted)
                throw CliFailure::failure(QStringLiteral("Interrupted after %1 speed and address pairs.").arg(tried));
            if (!answer)
                continue;
            lineSpeed = baud;
            const auto refused = ModbusException::find(*answer);
            QString what;
            if (refused) {
                what = QStringLiteral("answered with %1: some other device").arg(refused->text());
            } else {
                ++gateways;
                found.append(QString::number(address));
                what = QStringLiteral("Gateway FW version: %1").arg(ChannelText::FormatVersion(uint16_t(uint8_t((*answer)[3]) << 8 | uint8_t((*answer)[4]))));
            }
            ctx.console.out(QStringLiteral("%1 Bd, address %2: %3").arg(baud).arg(address).arg(what));
        }
    }
    ctx.console.endProgress();
    ctx.console.err(QStringLiteral("%1 speed and address pairs tried in %2 s.").arg(tried).arg(clock.elapsed() / 1000.0, 0, 'f', 1));
    if (gateways == 0)
        throw CliFailure::failure(QStringLiteral("No gateway answered."));
    if (gateways > 1)
        ctx.console.err(QStringLiteral("%1 gateways on the line: read them all with --baud %2 --address %3")
                            .arg(gateways)
                            .arg(*lineSpeed)
                            .arg(found.join(QLatin1Char(','))));
    return int(ExitCode::Done);
}

std::optional<QByteArray> ScanCommand::probe(qint32 baud, int address, int timeoutMs)
{
    TAfComPort &port = m_link.port();
    try {
        port.setUserBaudRate(baud);
    } catch (const ComPortError &e) {
        throw LinkPort::failureOf(e);
    }
    // Whatever an earlier probe stirred up (a late answer, bytes garbled by the change of
    // speed) is over before this probe goes out.
    waitQuiet(quietMs(port.lineSettings()) + port.answerAllowanceMs(), timeoutMs);
    if (m_interrupted)
        return std::nullopt;
    m_received.clear();
    const QByteArray request = versionRequest(address);
    m_expected = AnswerMatcher(request);
    m_listening = true;
    try {
        port.write(request.constData(), int(request.size()));
    } catch (const ComPortError &e) {
        m_listening = false;
        throw LinkPort::failureOf(e);
    }
    waitFor(timeoutMs);
    m_listening = false;
    const AnswerMatcher::Match match = m_expected.find(m_received);
    if (answerComplete())
        return m_received.mid(match.offset, match.length);
    return std::nullopt;
}

void ScanCommand::waitQuiet(int quietMs, int maxMs)
{
    m_listening = false;
    onData(); // what is waiting already
    QElapsedTimer waited;
    waited.start();
    for (qint64 left = quietMs - m_sinceByte.elapsed(); left > 0 && !m_interrupted && waited.elapsed() < maxMs;
         left = quietMs - m_sinceByte.elapsed())
        waitFor(int(left));
}

void ScanCommand::waitFor(int ms)
{
    m_over = false;
    m_deadline.start(ms);
    m_interrupted = m_ctx.wait.until([this] { return m_over; }) == EventWait::Result::Interrupted;
    m_deadline.stop();
}

void ScanCommand::onData()
{
    TAfComPort &port = m_link.port();
    const int waiting = port.bytesWaiting();
    if (waiting <= 0)
        return;
    QByteArray bytes(waiting, Qt::Uninitialized);
    port.read(bytes.data(), waiting);
    m_sinceByte.restart();
    if (!m_listening)
        return; // not this probe's: dropped
    m_received.append(bytes);
    if (answerComplete()) {
        m_over = true;
        m_ctx.wait.check();
    }
}

bool ScanCommand::answerComplete() const
{
    // Only the asked address's answer to this read counts, wherever noise puts it: a late
    // answer from the previous probe names another address.
    const AnswerMatcher::Verdict verdict = m_expected.find(m_received).verdict;
    return verdict == AnswerMatcher::Verdict::Answer || verdict == AnswerMatcher::Verdict::Exception;
}
