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
