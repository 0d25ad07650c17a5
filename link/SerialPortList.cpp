#include "SerialPortList.h"

#include "PortNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

QStringList SerialPortList::available()
{
#if defined(Q_OS_LINUX)
    return fromSysfs(QStringLiteral("/sys/class/tty"), QStringLiteral("/dev"));
#else
    QList<QPair<int, QString>> numbered;
    QStringList paths;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        const int n = PortNames::comNumberOf(info.portName());
        if (n >= 1 && n <= MaxComPorts)
            numbered.append({n, PortNames::fromComNumber(n)});
#else
        paths.append(info.systemLocation());
#endif
    }
    std::sort(numbered.begin(), numbered.end());
    QStringList result;
    for (const auto &entry : numbered)
        result.append(entry.second);
    paths.sort();
    result.append(paths);
    return result;
#endif
}

QStringList SerialPortList::fromSysfs(const QString &ttyClassDir, const QString &devDir)
{
    QStringList result;
    const QDir ttys(ttyClassDir);
    const QStringList names = ttys.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const QString entry = ttys.filePath(name);
        if (!QFileInfo::exists(entry + QStringLiteral("/device")))
            continue;
        if (name.startsWith(QLatin1String("ttyS"))) {
            QFile type(entry + QStringLiteral("/type"));
            if (type.open(QIODevice::ReadOnly) && type.read(16).trimmed() == "0")
                continue;
        }
        const QString node = QDir(devDir).filePath(name);
        if (QFileInfo::exists(node))
            result.append(node);
    }
    return result;
}
