// The simulator's Modbus TCP server: answers carry their request's transaction and unit id,
// requests from several clients take turns on the one line, a broadcast gets no answer, a unit
// that gives none gets exception 0B and its late answer is never passed off as the next
// request's, and a broken header closes the connection.
#include "FrameBytes.h"
#include "MbapServer.h"

#include <QTcpSocket>
#include <QTest>

namespace {

// An MBAP request: transaction id, protocol 0, length, unit id, PDU.
QByteArray adu(quint16 transaction, uint8_t unit, const QByteArray &pdu)
{
    QByteArray a;
    const int length = 1 + int(pdu.size());
    a.append(char(transaction >> 8)).append(char(transaction)).append(2, '\0');
    a.append(char(length >> 8)).append(char(length)).append(char(unit)).append(pdu);
    return a;
}

struct Client
{
    QTcpSocket socket;
    QByteArray received;

    explicit Client(quint16 port)
    {
        QObject::connect(
            &socket, &QTcpSocket::readyRead, [this] { received.append(socket.readAll()); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    bool waitFor(int bytes, int ms = 2000)
    {
        return QTest::qWaitFor([&] { return received.size() >= bytes; }, ms);
    }
};

struct ServerRig
{
    MbapServer server;
    // Gateways 1 and 2 at 115200 Bd, answering at once.
    explicit ServerRig(int waitMs = 300)
        : server(LineSettings{115200}, waitMs)
    {
        for (uint8_t a : {1, 2})
            server.bus().addGateway(
                {.address = a, .line = {115200}, .paced = false, .clock = false});
        QString error;
        QVERIFY2(server.listen(QHostAddress::LocalHost, 0, &error), qPrintable(error));
    }
};

const QByteArray kReadAddress = hexBytes("03 03 E9 00 01"); // register 1001: the gateway's address
const QByteArray kReadHardware = hexBytes("03 03 F1 00 01"); // register 1009: hardware version 100

} // namespace

class tst_MbapServer : public QObject
{
    Q_OBJECT
private slots:
    void answersCarryTheirIdsAndClientsTakeTurns()
    {
        ServerRig rig;
        Client a(rig.server.port()), b(rig.server.port());
        QVERIFY(a.socket.waitForConnected(2000) && b.socket.waitForConnected(2000));
        // Two requests in one segment from one client, one from the other between them.
        a.socket.write(adu(0x1234, 1, kReadAddress) + adu(0x1235, 2, kReadAddress));
        b.socket.write(adu(0xBEEF, 2, kReadHardware));
        QVERIFY(a.waitFor(22) && b.waitFor(11));
        QCOMPARE(a.received.toHex(' '),
            (adu(0x1234, 1, hexBytes("03 02 00 01")) + adu(0x1235, 2, hexBytes("03 02 00 02")))
                .toHex(' '));
        QCOMPARE(b.received.toHex(' '), adu(0xBEEF, 2, hexBytes("03 02 00 64")).toHex(' '));
        QCOMPARE(rig.server.stats().answered, 3);
    }

    void aBroadcastGetsNoAnswerAndReachesEveryGateway()
    {
        ServerRig rig;
        Client c(rig.server.port());
        c.socket.write(adu(7, 0, hexBytes("06 04 1F 00 04")) + adu(8, 1, kReadAddress));
        QVERIFY(c.waitFor(11));
        QTest::qWait(20);
        QCOMPARE(c.received.toHex(' '), adu(8, 1, hexBytes("03 02 00 01")).toHex(' '));
        for (GatewaySimulator *g : rig.server.bus().gateways())
            QCOMPARE(g->model().reg(1055), uint16_t(4));
    }

    // The late answer of unit 1 comes after the wait: the client has exception 0B for it, and
    // the next request (the same function to the same unit) gets its own answer, not that one.
    void aLateAnswerIsNeverTakenForTheNextRequest()
    {
        ServerRig rig(150);
        GatewaySimulator *late = rig.server.bus().gateway(1);
        late->faults().setRates({.late = 1.0, .lateMs = 300});
        Client c(rig.server.port());
        c.socket.write(adu(1, 1, kReadAddress));
        QVERIFY(c.waitFor(9));
        QCOMPARE(c.received.toHex(' '), adu(1, 1, hexBytes("83 0B")).toHex(' '));
        late->faults().setRates({});
        c.received.clear();
        c.socket.write(adu(2, 1, kReadHardware) + adu(3, 4, kReadAddress));
        QVERIFY(c.waitFor(11 + 9, 3000));
        QCOMPARE(c.received.toHex(' '),
            (adu(2, 1, hexBytes("03 02 00 64")) + adu(3, 4, hexBytes("83 0B"))).toHex(' '));
        QCOMPARE(rig.server.stats().noAnswer, 2);
    }

    void aRequestInPiecesIsPutTogetherAndABrokenHeaderClosesTheConnection()
    {
        ServerRig rig;
        Client c(rig.server.port());
        QVERIFY(c.socket.waitForConnected(2000));
        for (char byte : adu(9, 2, kReadAddress)) {
            c.socket.write(&byte, 1);
            c.socket.flush();
            QTest::qWait(2);
        }
        QVERIFY(c.waitFor(11));
        QCOMPARE(c.received.toHex(' '), adu(9, 2, hexBytes("03 02 00 02")).toHex(' '));
        QByteArray broken = adu(10, 2, kReadAddress);
        broken[3] = 1; // protocol id 1 is not Modbus
        c.socket.write(broken);
        QVERIFY(QTest::qWaitFor(
            [&] { return c.socket.state() == QAbstractSocket::UnconnectedState; }, 2000));
        QCOMPARE(rig.server.stats().protocolErrors, 1);
        // The server goes on for the next client.
        Client next(rig.server.port());
        next.socket.write(adu(11, 1, kReadAddress));
        QVERIFY(next.waitFor(11));
    }
};

QTEST_GUILESS_MAIN(tst_MbapServer)
#include "tst_MbapServer.moc"
