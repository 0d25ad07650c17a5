#include "MbapServer.h"

#include "ListenAddress.h"
#include "MemoryGatewayLine.h"
#include "ModbusCrc.h"
#include "SimLog.h"

#include <utility>

namespace {
constexpr uint8_t kServerBusy = 0x06;
constexpr uint8_t kTargetFailedToRespond = 0x0B;
constexpr int kSettleTickMs = 10;
} // namespace

MbapServer::MbapServer(const LineSettings &line, int waitMs, QObject *parent)
    : QObject(parent)
    , m_waitMs(waitMs)
    , m_bus(std::make_unique<MemoryGatewayLine>(&m_toolEnd))
{
    m_toolEnd.open(QStringLiteral("mbap"));
    m_toolEnd.applySettings(line);
    connect(&m_toolEnd, &SerialTransport::dataArrived, this, &MbapServer::onLineData);
    connect(&m_server, &QTcpServer::newConnection, this, &MbapServer::onNewConnection);

    m_waitTimer.setSingleShot(true);
    m_waitTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_waitTimer, &QTimer::timeout, this, &MbapServer::onWaitOver);
    // A master keeps 3.5 characters of quiet between frames; a few milliseconds at least, as
    // the line is in memory and timers are not that fine.
    m_gapTimer.setSingleShot(true);
    m_gapTimer.setTimerType(Qt::PreciseTimer);
    m_gapTimer.setInterval(int(qMax<qint64>(2, (line.charTimeUs() * 7 / 2 + 999) / 1000)));
    connect(&m_gapTimer, &QTimer::timeout, this, [this] {
        m_toolEnd.purgeReceive(); // the tail of a broken or doubled answer
        next();
    });
    m_settleTimer.setInterval(kSettleTickMs);
    connect(&m_settleTimer, &QTimer::timeout, this, &MbapServer::onSettleTick);
}

MbapServer::~MbapServer()
{
    // A socket closing as it goes would report its disconnection to a server half taken apart.
    for (QTcpSocket *client : m_inputs.keys()) {
        client->disconnect(this);
        delete client;
    }
}

bool MbapServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_server.listen(address, port))
        return true;
    *error = QStringLiteral("cannot listen on %1: %2")
                 .arg(hostAndPort(address, port), m_server.errorString());
    return false;
}

QString MbapServer::url() const
{
    return QStringLiteral("mbap://") + hostAndPort(m_server.serverAddress(), m_server.serverPort());
}

void MbapServer::onNewConnection()
{
    while (QTcpSocket *client = m_server.nextPendingConnection()) {
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_inputs.insert(client, {});
        connect(client, &QTcpSocket::readyRead, this, [this, client] { onClientData(client); });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            // Its requests still waiting are dropped as their turn comes (the pointer is null).
            m_inputs.remove(client);
            client->deleteLater();
        });
    }
}

void MbapServer::onClientData(QTcpSocket *client)
{
    auto it = m_inputs.find(client);
    if (it == m_inputs.end())
        return;
    QByteArray &input = it.value();
    input.append(client->readAll());
    for (;;) {
        MbapFrame::Request r;
        const MbapFrame::Take take = MbapFrame::takeRequest(input, &r);
        if (take == MbapFrame::Take::Incomplete)
            break;
        if (take == MbapFrame::Take::Broken) {
            ++m_stats.protocolErrors;
            qCDebug(lcSim) << "MBAP: closing a client that sent no Modbus header";
            input.clear();
            client->abort(); // the client is gone once this returns
            return;
        }
        ++m_stats.requests;
        if (m_queue.size() >= MaxQueued) {
            ++m_stats.busy;
            reply({client, r}, MbapFrame::exceptionPdu(uint8_t(r.pdu[0]), kServerBusy));
            continue;
        }
        m_queue.append({client, std::move(r)});
    }
    next();
}

// The next request goes out on the line, unless an exchange is still under way.
void MbapServer::next()
{
    if (m_current || m_gapTimer.isActive() || m_settleTimer.isActive())
        return;
    while (!m_queue.isEmpty()) {
        Pending r = m_queue.takeFirst();
        if (!r.client)
            continue; // its client has gone
        QByteArray frame;
        frame.append(char(r.request.unit)).append(r.request.pdu);
        frame = ModbusCrc::appended(frame);
        m_rx.clear();
        m_toolEnd.purgeReceive();
        m_toolEnd.write(frame.constData(), frame.size());
        if (r.request.unit == 0) {
            // A broadcast is answered by nobody; the next frame waits the gap only.
            m_gapTimer.start();
            return;
        }
        m_current = std::move(r);
        m_waitTimer.start(m_waitMs);
        return;
    }
}

int MbapServer::answerLength(int i, uint8_t function) const
{
    if (m_rx.size() < i + 3)
        return 0;
    if (uint8_t(m_rx[i + 1]) & 0x80)
        return 5; // exception answer: address, function, code, CRC
    switch (function) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
        return 5 + uint8_t(m_rx[i + 2]);
    default:
        return 8; // writes are answered with address, function, two words and the CRC
    }
}

void MbapServer::onLineData()
{
    QByteArray bytes(int(m_toolEnd.bytesWaiting()), Qt::Uninitialized);
    bytes.resize(int(m_toolEnd.read(bytes.data(), bytes.size())));
    if (!m_current)
        return; // nothing outstanding: old bytes
    m_rx.append(bytes);
    // No answer is longer than 256 bytes; a line that keeps sending noise is not kept whole.
    if (m_rx.size() > 1024)
        m_rx.remove(0, m_rx.size() - 1024);
    const uint8_t function = uint8_t(m_current->request.pdu[0]);
    // The answer may come behind noise or an echo of the request: look for it at every offset.
    for (int i = 0; i + 5 <= m_rx.size(); ++i) {
        const uint8_t f = uint8_t(m_rx[i + 1]);
        if (uint8_t(m_rx[i]) != m_current->request.unit
            || (f != function && f != (function | 0x80)))
            continue;
        const int length = answerLength(i, function);
        if (length == 0 || i + length > m_rx.size())
            continue;
        const QByteArray frame = m_rx.mid(i, length);
        if (!ModbusCrc::endsWithValidCrc(frame))
            continue;
        ++m_stats.answered;
        reply(*m_current, frame.mid(1, length - 3));
        finish(false);
        return;
    }
}

void MbapServer::onWaitOver()
{
    if (!m_current)
        return;
    ++m_stats.noAnswer;
    qCDebug(lcSim) << "MBAP: unit" << m_current->request.unit << "gave no answer";
    reply(*m_current,
        MbapFrame::exceptionPdu(uint8_t(m_current->request.pdu[0]), kTargetFailedToRespond));
    finish(true);
}

void MbapServer::finish(bool failed)
{
    m_current.reset();
    m_waitTimer.stop();
    m_rx.clear();
    if (failed)
        m_settleTimer.start(); // until no answer is due, then the gap
    else
        m_gapTimer.start();
}

void MbapServer::onSettleTick()
{
    if (m_bus.answerDue())
        return;
    m_settleTimer.stop();
    m_gapTimer.start();
}

void MbapServer::reply(const Pending &pending, const QByteArray &pdu)
{
    if (!pending.client || pending.client->state() != QAbstractSocket::ConnectedState)
        return;
    pending.client->write(MbapFrame::adu(pending.request.transaction, pending.request.unit, pdu));
}
