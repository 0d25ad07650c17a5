#pragma once

#include <QProcess>
#include <QString>

// Debian's pymodbus as an independent Modbus server on a free loopback port, holding the
// registers of a file (whitespace-separated values from address 0 on): Modbus TCP, or RTU
// frames over TCP as behind a serial server, answering every request the given time late.
class PymodbusServer
{
public:
    enum class Framing { ModbusTcp, RtuOverTcp };

    PymodbusServer(Framing framing, const QString &registersFile, int delayMs = 0);
    ~PymodbusServer();

    // Starts the server; false when it does not say it is ready within a few seconds.
    bool start();
    quint16 port() const { return m_port; }
    // "mbap://127.0.0.1:PORT" or "tcp://127.0.0.1:PORT"
    QString address() const;

private:
    QProcess m_process;
    Framing m_framing;
    QString m_registers;
    int m_delayMs;
    quint16 m_port = 0;
};
