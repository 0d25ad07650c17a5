#include "SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QRegularExpression>

namespace {
const QByteArray kActivate = "activate\n";
}

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent), m_name(name)
{
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::nameForCurrentUser()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME", qEnvironmentVariable("LOGNAME"));
    if (user.isEmpty())
        user = QDir::home().dirName(); // the home folder is the user's own
    QString name = QStringLiteral("1-WIRE-TARVIK ToolV1.09 (OBRIX)-") + user;
    // A socket and lock file name: no blanks, slashes or brackets.
    return name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
}

bool SingleInstance::tryBecomePrimary()
{
    m_lock = std::make_unique<QLockFile>(QDir::temp().filePath(m_name + QStringLiteral(".lock")));
    m_lock->setStaleLockTime(0); // a lock is stale only when its process is gone
    if (m_lock->tryLock(100)) {
        // A socket left by a killed process would stop listen().
        QLocalServer::removeServer(m_name);
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        m_server.listen(m_name);
        return true;
    }
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (socket.waitForConnected(1000)) {
        socket.write(kActivate);
        socket.waitForBytesWritten(1000);
        socket.disconnectFromServer();
    }
    return false;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains("activate"))
                emit activateRequested();
        });
    }
}
