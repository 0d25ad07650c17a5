#pragma once

#include "NetworkAddress.h"
#include "SerialTransport.h"

#include <QTcpSocket>

// A gateway line reached over TCP, named "tcp://HOST:PORT": a serial device server in raw mode
// passes the RTU frames between the socket and its serial line unchanged. The server's own
// serial settings are in force on its line, so applySettings takes any settings (the link
// still times the line from the speed it was given).
//
// open() waits at most ConnectTimeoutMs for the connection; a refused connection, a host that
// is not found and no answer within that time are all NotFound (nobody is there, as with a
// port that is not plugged in), with the reason in lastErrorText. A connection that ends while
// open is deviceLost, once, as an unplugged port. Small frames leave at once (no Nagle delay).
//
// Subclasses turn the frames into another form on the wire (Modbus TCP: ModbusTcpTransport).
class TcpTransport : public SerialTransport
{
    Q_OBJECT
public:
    // The longest wait for a connection, name lookup included.
    static constexpr int ConnectTimeoutMs = 3000;
    // How much later than on a serial line an answer may come by default: a serial server
    // gathers bytes before it sends them, and the network adds its round trip.
    static constexpr int DefaultAnswerAllowanceMs = 100;

    explicit TcpTransport(QObject *parent = nullptr);
    ~TcpTransport() override;

    OpenResult open(const QString &portName) override;
    void close() override;
    bool isOpen() const override;
    bool applySettings(const LineSettings &settings) override;
    qint64 bytesWaiting() const override;
    qint64 read(char *data, qint64 maxCount) override;
    qint64 write(const char *data, qint64 count) override;
    qint64 bytesPendingWrite() const override;
    void purgeReceive() override;
    void purgeTransmit() override;
    QString lastErrorText() const override;
    int answerAllowanceMs() const override { return DefaultAnswerAllowanceMs; }

    // The server as messages name it: "127.0.0.1:5020".
    QString peer() const { return m_address.hostAndPort(); }
    // Whether the socket sends small frames at once (TCP_NODELAY).
    bool lowDelay();

protected:
    // What goes on the wire for a frame the link writes; nothing goes when it is empty.
    virtual QByteArray outgoing(const QByteArray &frame) { return frame; }
    // What the link reads of the bytes that came from the wire.
    virtual QByteArray incoming(const QByteArray &bytes) { return bytes; }
    // A new connection begins: nothing of an earlier one is pending.
    virtual void connectionStarts() { }
    // Only an address of this protocol opens here.
    virtual NetworkAddress::Protocol protocol() const
    {
        return NetworkAddress::Protocol::RtuOverTcp;
    }

private:
    OpenResult connectTo(const QList<QHostAddress> &addresses, int timeLeftMs);
    void onReadyRead();
    void onError(QAbstractSocket::SocketError error);
    void lost(const QString &reason);

    QTcpSocket m_socket;
    NetworkAddress m_address;
    QByteArray m_input; // bytes for the link to read
    QString m_lastError;
    bool m_open = false;
};
