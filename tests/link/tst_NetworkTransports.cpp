// Lines reached over the network: the address forms, the Modbus TCP framing on the wire bytes,
// and the port component over real loopback sockets (bytes both ways, the failures of a
// connect and a connection that ends), with the test playing the server.
#include "FrameBytes.h"
#include "MbapFraming.h"
#include "ModbusTcpTransport.h"
#include "NetworkAddress.h"
#include "TAfComPort.h"
#include "TestHelpers.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A read of 100 registers at 1000 from address 1, as the poll cycle sends it.
const QByteArray kRequest = withCrc(hexBytes("01 03 03 E8 00 64"));

// A server on a free loopback port that the test drives byte by byte.
struct LoopbackServer
{
    QTcpServer server;
    QTcpSocket *peer = nullptr;

    LoopbackServer() { server.listen(QHostAddress::LocalHost, 0); }
    QString name(const char *scheme) const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(QLatin1String(scheme))
            .arg(server.serverPort());
    }
    bool accept()
    {
        if (!QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 3000))
            return false;
        peer = server.nextPendingConnection();
        return true;
    }
    QByteArray receive(qsizetype count)
    {
        if (!QTest::qWaitFor([&] { return peer->bytesAvailable() >= count; }, 3000))
            return {};
        return peer->readAll();
    }
    void send(const QByteArray &bytes)
    {
        peer->write(bytes);
        peer->flush();
    }
};

struct NetworkPort
{
    TAfComPort port;
    QStringList closed;
    NetworkPort()
    {
        port.setObjectName(QStringLiteral("AfComPort1"));
        port.OnClosed = [this](TAfComPort *, const QString &reason) { closed.append(reason); };
    }
    QByteArray readAll()
    {
        QByteArray bytes(port.bytesWaiting(), Qt::Uninitialized);
        port.read(bytes.data(), int(bytes.size()));
        return bytes;
    }
};

} // namespace

class tst_NetworkTransports : public QObject
{
    Q_OBJECT
private slots:
    void addressForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name"); // empty: refused
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("error");
        QTest::newRow("IPv4") << "tcp://127.0.0.1:5020"
                              << "tcp://127.0.0.1:5020"
                              << "127.0.0.1"
                              << "";
        QTest::newRow("host name, scheme in capitals") << " MBAP://gw-1.site_a.lan:502 "
                                                       << "mbap://gw-1.site_a.lan:502"
                                                       << "gw-1.site_a.lan"
                                                       << "";
        QTest::newRow("IPv6 in brackets") << "mbap://[::1]:1"
                                          << "mbap://[::1]:1"
                                          << "::1"
                                          << "";
        QTest::newRow("port with leading zero") << "tcp://10.0.0.7:0502"
                                                << "tcp://10.0.0.7:502"
                                                << "10.0.0.7"
                                                << "";
        QTest::newRow("highest port") << "tcp://gw:65535"
                                      << "tcp://gw:65535"
                                      << "gw"
                                      << "";
        QTest::newRow("no port") << "tcp://127.0.0.1"
                                 << ""
                                 << ""
                                 << "the TCP port is missing";
        QTest::newRow("empty port") << "tcp://127.0.0.1:"
                                    << ""
                                    << ""
                                    << "the TCP port is missing";
        QTest::newRow("port 0") << "tcp://127.0.0.1:0"
                                << ""
                                << ""
                                << "1 to 65535";
        QTest::newRow("port too high") << "mbap://gw:65536"
                                       << ""
                                       << ""
                                       << "1 to 65535";
        QTest::newRow("path after the port") << "tcp://gw:502/x"
                                             << ""
                                             << ""
                                             << "1 to 65535";
        QTest::newRow("no host") << "tcp://:502"
                                 << ""
                                 << ""
                                 << "the host is missing";
        QTest::newRow("IPv6 without brackets") << "tcp://::1:502"
                                               << ""
                                               << ""
                                               << "goes in brackets";
        QTest::newRow("bracket not closed") << "tcp://[::1:502"
                                            << ""
                                            << ""
                                            << "no closing bracket";
        QTest::newRow("no colon after the bracket") << "tcp://[::1]502"
                                                    << ""
                                                    << ""
                                                    << "the TCP port is missing";
        QTest::newRow("name in brackets") << "tcp://[gw]:502"
                                          << ""
                                          << ""
                                          << "not an IPv6 address";
        QTest::newRow("IPv4 out of range") << "tcp://256.1.1.1:502"
                                           << ""
                                           << ""
                                           << "not an IPv4 address";
        QTest::newRow("short IPv4") << "tcp://10.1:502"
                                    << ""
                                    << ""
                                    << "not an IPv4 address";
        QTest::newRow("blank in the host") << "tcp://gw lan:502"
                                           << ""
                                           << ""
                                           << "not a host name";
        QTest::newRow("user part") << "tcp://me@gw:502"
                                   << ""
                                   << ""
                                   << "not a host name";
        QTest::newRow("another scheme") << "udp://gw:502"
                                        << ""
                                        << ""
                                        << "begins with tcp:// or mbap://";
    }
    void addressForms()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QFETCH(QString, host);
        QFETCH(QString, error);
        QString why;
        const auto address = NetworkAddress::parse(text, &why);
        QCOMPARE(address.has_value(), !name.isEmpty());
        if (address) {
            QCOMPARE(address->name(), name);
            QCOMPARE(address->host, host);
            // The name a port is stored and shown under reads back as the same address.
            QCOMPARE(NetworkAddress::parse(address->name())->name(), name);
        } else {
            QVERIFY2(why.contains(error), qPrintable(why));
        }
        QCOMPARE(NetworkAddress::isNetworkName(text), !text.startsWith(QLatin1String("udp")));
    }

    void requestGoesOutAsModbusTcpUnderTheNextTransactionId()
    {
        MbapFraming framing;
        QCOMPARE(framing.request(kRequest).value_or(QByteArray()),
            hexBytes("00 01 00 00 00 06 01 03 03 E8 00 64"));
        const QByteArray writeRequest = withCrc(hexBytes("07 10 05 5F 00 02 04 12 34 AB CD"));
        QCOMPARE(framing.request(writeRequest).value_or(QByteArray()),
            hexBytes("00 02 00 00 00 0B 07 10 05 5F 00 02 04 12 34 AB CD"));
        QCOMPARE(framing.lastTransactionId(), quint16(2));

        // A damaged frame would not be taken off a serial line either: nothing goes out, and
        // the transaction id stays where it was.
        QByteArray damaged = kRequest;
        damaged[3] = char(0xE9);
        QString why;
        QVERIFY(!framing.request(damaged, &why));
        QVERIFY2(why.contains(QLatin1String("CRC")), qPrintable(why));
        QVERIFY(!framing.request(hexBytes("01 03 40"), &why));
        QCOMPARE(framing.lastTransactionId(), quint16(2));
    }

    // After a request under transaction id 1, what comes from the wire, in segments, against
    // the RTU frames the master reads.
    void answersComeBackAsRtuFrames_data()
    {
        QTest::addColumn<QList<QByteArray>>("segments");
        QTest::addColumn<QByteArray>("rtu");
        QTest::addColumn<int>("dropped");
        QTest::addColumn<int>("malformed");
        const QByteArray answer = hexBytes("00 01 00 00 00 07 01 03 04 12 34 AB CD");
        const QByteArray answerRtu = withCrc(hexBytes("01 03 04 12 34 AB CD"));
        const QByteArray stale = hexBytes("FF FF 00 00 00 05 01 03 02 00 2A");
        QTest::newRow("answer") << QList<QByteArray>{answer} << answerRtu << 0 << 0;
        QTest::newRow("exception answer")
            << QList<QByteArray>{hexBytes("00 01 00 00 00 03 01 83 02")}
            << withCrc(hexBytes("01 83 02")) << 0 << 0;
        QTest::newRow("unit id kept") << QList<QByteArray>{hexBytes("00 01 00 00 00 03 09 83 0B")}
                                      << withCrc(hexBytes("09 83 0B")) << 0 << 0;
        QTest::newRow("another transaction id")
            << QList<QByteArray>{stale} << QByteArray() << 1 << 0;
        QTest::newRow("split in every part")
            << QList<QByteArray>{answer.left(1), answer.mid(1, 5), answer.mid(6, 1), answer.mid(7)}
            << answerRtu << 0 << 0;
        QTest::newRow("late answer joined before its own")
            << QList<QByteArray>{stale + answer} << answerRtu << 1 << 0;
        QTest::newRow("late answer's tail joined to the head of its own")
            << QList<QByteArray>{stale.left(4), stale.mid(4) + answer.left(3), answer.mid(3)}
            << answerRtu << 1 << 0;
        QTest::newRow("second answer under the same id")
            << QList<QByteArray>{answer + answer} << answerRtu << 1 << 0;
        QTest::newRow("protocol id not 0")
            << QList<QByteArray>{hexBytes("00 01 00 01 00 07 01 03 04 12 34 AB CD")} << QByteArray()
            << 0 << 1;
        QTest::newRow("length 0") << QList<QByteArray>{hexBytes("00 01 00 00 00 00 01")}
                                  << QByteArray() << 0 << 1;
        QTest::newRow("length without a function code")
            << QList<QByteArray>{hexBytes("00 01 00 00 00 01 01")} << QByteArray() << 0 << 1;
        QTest::newRow("length beyond the longest PDU")
            << QList<QByteArray>{hexBytes("00 01 00 00 00 FF 01 03")} << QByteArray() << 0 << 1;
        // RTU frames from a serial server, by a wrong scheme: never taken for Modbus TCP.
        QTest::newRow("RTU frame") << QList<QByteArray>{withCrc(hexBytes("01 03 04 12 34 AB CD"))}
                                   << QByteArray() << 0 << 1;
        QTest::newRow("bytes behind a malformed header are dropped too")
            << QList<QByteArray>{hexBytes("00 01 00 07 00 07"), answer} << QByteArray() << 0 << 1;
    }
    void answersComeBackAsRtuFrames()
    {
        QFETCH(QList<QByteArray>, segments);
        QFETCH(QByteArray, rtu);
        QFETCH(int, dropped);
        QFETCH(int, malformed);
        MbapFraming framing;
        QVERIFY(framing.request(kRequest));
        QByteArray out;
        for (const QByteArray &segment : segments)
            out += framing.answers(segment);
        QCOMPARE(out.toHex(' '), rtu.toHex(' '));
        QCOMPARE(framing.droppedAnswers(), dropped);
        QCOMPARE(framing.malformedHeaders(), malformed);
    }

    // Transaction ids come round again after 65536 requests: a frame that had begun before the
    // request went out is not its answer, whatever its id.
    void frameBegunBeforeTheRequestIsNoAnswer()
    {
        MbapFraming framing;
        QVERIFY(framing.answers(hexBytes("00 01 00")).isEmpty());
        QVERIFY(framing.request(kRequest));
        QCOMPARE(framing.answers(hexBytes("00 00 05 01 03 02 00 2A 00 01 00 00 00 03 01 83 02")),
                 withCrc(hexBytes("01 83 02")));
        QCOMPARE(framing.droppedAnswers(), 1);
    }

    void malformedHeaderCostsOneAnswerOnly()
    {
        MbapFraming framing;
        QVERIFY(framing.request(kRequest));
        QVERIFY(framing.answers(hexBytes("00 01 12 34 00 07 01 03")).isEmpty());
        // The rest of that frame, whatever it was, is not read as a header.
        QVERIFY(framing.answers(hexBytes("04 12 34 AB CD 00 01 00 00 00 03 01")).isEmpty());
        QCOMPARE(framing.malformedHeaders(), 1);
        QVERIFY(framing.request(kRequest));
        QCOMPARE(
            framing.answers(hexBytes("00 02 00 00 00 03 01 83 06")), withCrc(hexBytes("01 83 06")));
    }

    // The port component takes the transport the name calls for, and the bytes pass as the
    // scheme says: unchanged over tcp://, as Modbus TCP over mbap://.
    void bytesPassBothWaysAsTheSchemeSays()
    {
        LoopbackServer raw;
        NetworkPort p;
        p.port.setPortName(raw.name("tcp"));
        p.port.open();
        QVERIFY(raw.accept());
        auto *tcp = qobject_cast<TcpTransport *>(&p.port.transport());
        QVERIFY(tcp && !qobject_cast<ModbusTcpTransport *>(tcp));
        QVERIFY(tcp->lowDelay());
        QCOMPARE(p.port.answerAllowanceMs(), TcpTransport::DefaultAnswerAllowanceMs);
        p.port.write(kRequest.constData(), int(kRequest.size()));
        QCOMPARE(raw.receive(kRequest.size()), kRequest);
        raw.send(hexBytes("01 03"));
        QVERIFY(QTest::qWaitFor([&] { return p.port.bytesWaiting() == 2; }, 3000));
        QCOMPARE(p.readAll(), hexBytes("01 03"));
        p.port.close();

        // The same component, another name: now Modbus TCP.
        LoopbackServer mbap;
        p.port.setPortName(mbap.name("mbap"));
        p.port.open();
        QVERIFY(mbap.accept());
        QVERIFY(qobject_cast<ModbusTcpTransport *>(&p.port.transport()));
        p.port.write(kRequest.constData(), int(kRequest.size()));
        QCOMPARE(mbap.receive(12), hexBytes("00 01 00 00 00 06 01 03 03 E8 00 64"));
        p.port.write(kRequest.constData(), int(kRequest.size()));
        QCOMPARE(mbap.receive(12), hexBytes("00 02 00 00 00 06 01 03 03 E8 00 64"));
        // The first request's answer comes late, in one segment with the second's.
        mbap.send(hexBytes("00 01 00 00 00 05 01 03 02 00 01 00 02 00 00 00 05 01 03 02 00 02"));
        QVERIFY(QTest::qWaitFor([&] { return p.port.bytesWaiting() > 0; }, 3000));
        QTest::qWait(50);
        QCOMPARE(p.readAll(), withCrc(hexBytes("01 03 02 00 02")));

        // Back to a device name: a serial port again, which this one is not.
        p.port.close();
        p.port.setPortName(QStringLiteral("/dev/tarvik-no-such-port"));
        QCOMPARE(comPortErrorText([&] { p.port.open(); }),
            QStringLiteral("Invalid port number (/dev/tarvik-no-such-port) - AfComPort1 "));
        QCOMPARE(p.port.answerAllowanceMs(), 0);
    }

    void connectFailuresSayWhy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        LoopbackServer closed;
        const quint16 free = closed.server.serverPort();
        closed.server.close();
        QTest::newRow("refused") << QStringLiteral("tcp://127.0.0.1:%1").arg(free)
                                 << QStringLiteral("Connection refused by 127.0.0.1:%1").arg(free);
        // RFC 6761: no name under .invalid resolves.
        QTest::newRow("host not found") << QStringLiteral("mbap://gateway.invalid:502")
                                        << QStringLiteral("Host gateway.invalid not found");
    }
    void connectFailuresSayWhy()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        NetworkPort p;
        p.port.setPortName(name);
        QElapsedTimer clock;
        clock.start();
        const QString text = comPortErrorText([&] { p.port.open(); });
        QVERIFY2(text.startsWith(QStringLiteral("Can't connect to %1 (%2").arg(name, reason)),
            qPrintable(text));
        QVERIFY(clock.elapsed() < TcpTransport::ConnectTimeoutMs + 1000);
        QCOMPARE(p.port.lastOpenResult(), SerialTransport::OpenResult::NotFound);
        QVERIFY(!p.port.isActive());
    }

    // A server whose queue of connections is full takes none: the kernel drops the attempt
    // without a word, and only the deadline ends the wait.
    void connectGivesUpAtItsDeadline()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        auto closeFd = qScopeGuard([fd] { ::close(fd); });
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof at;
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&at), size) == 0 && ::listen(fd, 0) == 0);
        QVERIFY(::getsockname(fd, reinterpret_cast<sockaddr *>(&at), &size) == 0);
        const quint16 port = ntohs(at.sin_port);
        // The one connection the queue holds, never accepted.
        QTcpSocket first;
        first.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(first.waitForConnected(1000));

        NetworkPort p;
        p.port.setPortName(QStringLiteral("tcp://127.0.0.1:%1").arg(port));
        QElapsedTimer clock;
        clock.start();
        const QString text = comPortErrorText([&] { p.port.open(); });
        const qint64 waited = clock.elapsed();
        QVERIFY2(
            text.contains(QStringLiteral("(No connection to 127.0.0.1:%1 within 3 s)").arg(port)),
            qPrintable(text));
        QVERIFY2(waited >= TcpTransport::ConnectTimeoutMs - 100
                && waited < TcpTransport::ConnectTimeoutMs + 1000,
            qPrintable(QString::number(waited)));
        QCOMPARE(p.port.lastOpenResult(), SerialTransport::OpenResult::NotFound);
    }

    // A connection that ends is a device that vanished: the component closes once and says
    // why; it opens again once the server is back.
    void endedConnectionClosesThePortOnce()
    {
        LoopbackServer server;
        NetworkPort p;
        p.port.setPortName(server.name("mbap"));
        p.port.open();
        QVERIFY(server.accept());
        server.peer->close();
        QVERIFY(QTest::qWaitFor([&] { return !p.closed.isEmpty(); }, 3000));
        QTest::qWait(50);
        QCOMPARE(p.closed,
            QStringList{QStringLiteral("Connection closed by 127.0.0.1:%1")
                            .arg(server.server.serverPort())});
        QVERIFY(!p.port.isActive());
        QCOMPARE(p.port.bytesWaiting(), 0);
        p.port.open();
        QVERIFY(server.accept());
        QVERIFY(p.port.isActive());
    }
};

QTEST_MAIN(tst_NetworkTransports)
#include "tst_NetworkTransports.moc"
