#pragma once

#include <QProcess>
#include <QStringList>

// tarvik-gateway-sim as a process of its own, for tests that reach it as an outside program
// would: started with the arguments given, ready once it printed its "ready" line (the places
// it serves, in the order link, tcp://, mbap://), and ended with SIGTERM when the test is done.
class SimProcess
{
public:
    explicit SimProcess(const QStringList &arguments);
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Waits up to ms for the ready line; false when the simulator ended or never said it.
    bool waitReady(int ms = 5000);
    // What the ready line named.
    const QStringList &served() const { return m_served; }
    // The port of the place served with this scheme ("tcp", "mbap"); 0 when none.
    quint16 port(const QString &scheme) const;
    // What the simulator wrote to stderr so far (for failure messages).
    QByteArray errors();
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QStringList m_served;
};
