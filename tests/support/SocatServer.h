#pragma once

#include <QProcess>
#include <QString>

// socat as a serial device server in raw mode on a loopback port: what a TCP client sends goes
// to the serial line at linePath unchanged, and back, with the line set to the given speed. It
// takes one client and ends when that client leaves; stop() is the server going away under
// its client.
class SocatServer
{
public:
    SocatServer(const QString &linePath, qint32 baud);
    ~SocatServer();

    // Listens on the port (a free one for 0); false when socat does not say it listens within a
    // few seconds.
    bool start(quint16 port = 0);
    void stop();
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    quint16 port() const { return m_port; }
    // "tcp://127.0.0.1:PORT"
    QString address() const;

private:
    QProcess m_process;
    QString m_line;
    qint32 m_baud;
    quint16 m_port = 0;
};
