#pragma once

#include "GatewayBus.h"
#include "MbapFrame.h"
#include "MemoryTransport.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <optional>

// A Modbus TCP server in front of a line of simulated gateways, as a Modbus TCP-to-RTU gateway
// is. A request (MBAP header, unit id = gateway address) goes out on the line as an RTU frame
// once the exchange before it is over; the gateway's answer, once whole with a right CRC, goes
// back in one piece with the request's transaction and unit id. So an answer comes after the
// time the exchange takes on the line (paced or not, as the gateways are), and late answers
// and stalls reach the client as they are, late, under their own transaction id. A broadcast
// (unit 0) gets no answer. A unit that gives no right answer within the wait (none there,
// silent, answer lost or broken, or later than the wait) gets exception 0x0B, "gateway target
// device failed to respond"; the next request then goes out only once no answer is due on the
// line any more, so a late answer is never taken for the next one. Requests from several
// clients queue for the one line; past 64 waiting, a request gets exception 0x06 (busy).
class MbapServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultWaitMs = 1000;
    static constexpr int MaxQueued = 64;

    struct Stats
    {
        int requests = 0; // requests taken from clients
        int answered = 0; // gateways' answers passed on
        int noAnswer = 0; // exception 0x0B sent
        int busy = 0; // exception 0x06 sent
        int protocolErrors = 0; // connections closed for a malformed header
    };

    // The line behind the server runs at these settings.
    explicit MbapServer(
        const LineSettings &line, int waitMs = DefaultWaitMs, QObject *parent = nullptr);
    ~MbapServer() override;

    // The gateways behind the server.
    GatewayBus &bus() { return m_bus; }
    // Listens on address and port (0: a free port); false with the reason.
    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_server.serverPort(); }
    // mbap://HOST:PORT, as the tool names a Modbus TCP server.
    QString url() const;
    const Stats &stats() const { return m_stats; }

private:
    // A request and the client waiting for its answer.
    struct Pending
    {
        QPointer<QTcpSocket> client;
        MbapFrame::Request request;
    };

    void onNewConnection();
    void onClientData(QTcpSocket *client);
    void onLineData();
    void onWaitOver();
    void onSettleTick();
    void next();
    void finish(bool failed);
    void reply(const Pending &pending, const QByteArray &pdu);
    // The length of an answer to function at offset i of m_rx: 0 while too few bytes are there.
    int answerLength(int i, uint8_t function) const;

    int m_waitMs;
    MemoryTransport m_toolEnd; // the server's end of the line; declared before the bus on it
    GatewayBus m_bus;
    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_inputs;
    QList<Pending> m_queue;
    std::optional<Pending> m_current;
    QByteArray m_rx;
    QTimer m_waitTimer; // the deadline of the answer outstanding
    QTimer m_gapTimer; // the quiet time between two frames on the line
    QTimer m_settleTimer; // after a failed exchange: looks whether an answer is still due
    Stats m_stats;
};
