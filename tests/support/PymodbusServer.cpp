#include "PymodbusServer.h"

#include <QRegularExpression>
#include <QTest>

PymodbusServer::PymodbusServer(Framing framing, const QString &registersFile, int delayMs)
    : m_framing(framing)
    , m_registers(registersFile)
    , m_delayMs(delayMs)
{
}

PymodbusServer::~PymodbusServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool PymodbusServer::start()
{
    // Debian's python, which has Debian's pymodbus.
    m_process.start(QStringLiteral("/usr/bin/python3"),
        {QStringLiteral(TARVIK_PYMODBUS_SERVER),
            m_framing == Framing::ModbusTcp ? QStringLiteral("mbap") : QStringLiteral("rtu"),
            m_registers, QString::number(m_delayMs)});
    if (!m_process.waitForStarted(3000))
        return false;
    static const QRegularExpression ready(
        QStringLiteral("^ready (\\d+)$"), QRegularExpression::MultilineOption);
    QByteArray said;
    const bool ok = QTest::qWaitFor(
        [&] {
            said += m_process.readAllStandardOutput();
            return ready.match(QString::fromUtf8(said)).hasMatch()
                || m_process.state() == QProcess::NotRunning;
        },
        10000);
    const auto m = ready.match(QString::fromUtf8(said));
    if (!ok || !m.hasMatch()) {
        qWarning().noquote() << "pymodbus:" << said << m_process.readAllStandardError();
        return false;
    }
    m_port = quint16(m.captured(1).toUInt());
    return true;
}

QString PymodbusServer::address() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_framing == Framing::ModbusTcp ? QStringLiteral("mbap") : QStringLiteral("tcp"))
        .arg(m_port);
}
