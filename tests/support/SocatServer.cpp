#include "SocatServer.h"

#include <QRegularExpression>
#include <QTest>

SocatServer::SocatServer(const QString &linePath, qint32 baud)
    : m_line(linePath)
    , m_baud(baud)
{
}

SocatServer::~SocatServer()
{
    stop();
}

bool SocatServer::start(quint16 port)
{
    stop();
    // -d -d: socat says where it listens, which is how a free port becomes known.
    m_process.start(QStringLiteral("socat"),
        {QStringLiteral("-d"), QStringLiteral("-d"),
            QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port),
            QStringLiteral("FILE:%1,raw,echo=0,b%2").arg(m_line).arg(m_baud)});
    if (!m_process.waitForStarted(3000))
        return false;
    static const QRegularExpression listening(
        QStringLiteral("listening on AF=2 127\\.0\\.0\\.1:(\\d+)"));
    QByteArray said;
    const bool ok = QTest::qWaitFor(
        [&] {
            said += m_process.readAllStandardError();
            return listening.match(QString::fromUtf8(said)).hasMatch() || !running();
        },
        5000);
    const auto m = listening.match(QString::fromUtf8(said));
    if (!ok || !m.hasMatch()) {
        qWarning().noquote() << "socat:" << said;
        return false;
    }
    m_port = quint16(m.captured(1).toUInt());
    return true;
}

void SocatServer::stop()
{
    if (!running())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

QString SocatServer::address() const
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(m_port);
}
