#include "GatewayName.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

QString GatewayName::defaultByIdFolder()
{
    return QStringLiteral("/dev/serial/by-id");
}

QString GatewayName::topicSafe(const QString &text)
{
    static const QRegularExpression other(QStringLiteral("[^A-Za-z0-9_-]"));
    QString safe = text;
    return safe.replace(other, QStringLiteral("_"));
}

QString GatewayName::byIdName(const QString &port, const QString &byIdFolder)
{
    const QString device = QFileInfo(port).canonicalFilePath();
    if (device.isEmpty())
        return QString();
    QDir folder(byIdFolder);
    // Name order, so the same links always give the same name.
    const QFileInfoList links = folder.entryInfoList(QDir::System | QDir::Files, QDir::Name);
    for (const QFileInfo &link : links)
        if (link.isSymLink() && link.canonicalFilePath() == device)
            return link.fileName();
    return QString();
}

QString GatewayName::forPort(const QString &port, int address, const QString &byIdFolder)
{
    QString name = byIdName(port, byIdFolder);
    if (name.isEmpty())
        name = port.mid(port.lastIndexOf(QLatin1Char('/')) + 1);
    return topicSafe(QStringLiteral("%1-%2").arg(name).arg(address));
}
