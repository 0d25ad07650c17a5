#include "ErrorGuard.h"

#include <QDebug>

namespace {
ErrorGuard::Handler &handlerSlot()
{
    static ErrorGuard::Handler handler;
    return handler;
}
} // namespace

void ErrorGuard::setHandler(Handler handler)
{
    handlerSlot() = std::move(handler);
}

void ErrorGuard::report(const QString &message)
{
    if (handlerSlot()) {
        // A handler that itself throws must not take the program down either.
        try {
            handlerSlot()(message);
            return;
        } catch (const std::exception &e) {
            qCritical().noquote() << "Error handler failed:" << e.what();
        } catch (...) {
            qCritical() << "Error handler failed";
        }
    }
    qCritical().noquote() << message;
}

bool ErrorGuard::run(const std::function<void()> &body)
{
    try {
        body();
        return true;
    } catch (const std::exception &e) {
        report(QString::fromUtf8(e.what()));
    } catch (...) {
        report(QStringLiteral("Unknown error"));
    }
    return false;
}
