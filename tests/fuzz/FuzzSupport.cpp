#include "FuzzSupport.h"

#include <QCoreApplication>

namespace {
void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}
} // namespace

void startQtOnce()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = [] {
        qInstallMessageHandler(quietHandler);
        return new QCoreApplication(argc, argv);
    }();
    (void)app;
}

#include <QDir>
#include <QFile>

QString writeScratchFile(const unsigned char *data, unsigned long size, const char *suffix)
{
    const QString path = QDir::temp().filePath(QStringLiteral("tarvik-fuzz-%1%2")
                                                   .arg(QCoreApplication::applicationPid())
                                                   .arg(QLatin1String(suffix)));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}
