#include "LinkPort.h"

#include "CliFailure.h"
#include "ComPortError.h"
#include "NetworkAddress.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

LinkPort::LinkPort(const LinkOptions &link) : m_link(link)
{
    // The component's name ends the window's port error texts.
    m_port.setObjectName(QStringLiteral("AfComPort1"));
    m_port.setPortName(link.port);
    m_port.setUserBaudRate(link.baud);
    m_port.setParity(link.parity);
    m_port.setStopBits(link.stopBits);
    // Over the network an answer comes later than the line alone makes it: by what the server
    // and the network add, which --timeout sets where the default allowance is too short.
    if (link.timeoutMs && NetworkAddress::isNetworkName(link.port))
        m_port.setAnswerAllowanceMs(*link.timeoutMs);
}

void LinkPort::requirePort() const
{
    if (m_link.port.isEmpty())
        throw CliFailure::usage(QStringLiteral("no port: give --port NAME (without it the port the window used last is taken)"));
}

void LinkPort::open()
{
    requirePort();
    try {
        m_port.open();
    } catch (const ComPortError &e) {
        throw failureWithReason(e);
    }
}

CliFailure LinkPort::failureWithReason(const ComPortError &error)
{
    CliFailure failure = failureOf(error);
    // Nobody there: a network server that refuses or does not answer is missing as a port that
    // is not plugged in is.
    failure.portMissing = failure.portMissing || m_port.lastOpenResult() == SerialTransport::OpenResult::NotFound;
    // Where the window's text names no cause, the system's reason (which the window only
    // logs) goes into the one line the command ends with.
    const QString reason = m_port.transport().lastErrorText().trimmed();
    if (!failure.message.contains(QLatin1Char('(')) && !reason.isEmpty() && !failure.message.contains(reason))
        failure.message += QStringLiteral(" (%1)").arg(reason);
    return failure;
}

CliFailure LinkPort::failureOf(const ComPortError &error)
{
    QString text = error.message();
    const bool missing = text.startsWith(QLatin1String("Invalid port number"));
    if (missing)
        text += QStringLiteral(": no such port; check the name given with --port");
    CliFailure failure = CliFailure::failure(text);
    failure.portMissing = missing;
    return failure;
}

QString LinkPort::goneText(const QString &port, const QString &reason)
{
    QString text = QStringLiteral("The port %1 is gone (unplugged?)").arg(port);
    // A pseudo-terminal whose far end ended gives only "Unknown error", or the "try again" of
    // the last read that found nothing: no reason at all.
    const QString why = reason.trimmed();
    const bool none = why.compare(QLatin1String("Unknown error"), Qt::CaseInsensitive) == 0
                      || why.compare(QLatin1String("Resource temporarily unavailable"), Qt::CaseInsensitive) == 0;
    if (!why.isEmpty() && !none)
        text += QStringLiteral(": ") + why;
    return text;
}

void LinkPort::close()
{
    // The last write may still sit in the port's buffer; closing would throw it away.
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!m_port.isActive() || m_port.transport().bytesPendingWrite() == 0 || waited.elapsed() > 1000)
            loop.quit();
    });
    poll.start(5);
    if (m_port.isActive() && m_port.transport().bytesPendingWrite() > 0)
        loop.exec();
    m_port.close();
}
