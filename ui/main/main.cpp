#include "CommandLine.h"
#include "DemoGateway.h"
#include "ErrorGuard.h"
#include "QtPrompts.h"
#include "SingleInstance.h"
#include "TMainForm.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

namespace {

// Safety net behind the guards in every slot: an exception that still reaches the event loop
// goes to the application's error handler instead of ending the program.
class GuardedApplication final : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        bool result = false;
        ErrorGuard::run([&] { result = QApplication::notify(receiver, event); });
        return result;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    GuardedApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("1-WIRE-TARVIK Tool"));
    QApplication::setOrganizationName(QStringLiteral("Quarnel"));
    QApplication::setApplicationDisplayName(QStringLiteral("1-WIRE-TARVIK Tool V1.09 (OBRIX)"));

    const CommandLine options = CommandLine::parse(QApplication::arguments());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "tarvik-tool: %s\nUsage: tarvik-tool [--port NAME] [--connect] [--demo]\n",
                     qPrintable(options.error));
        return 2;
    }

    // One tool per user: a second start brings the first one forward and ends quietly.
    SingleInstance instance(SingleInstance::nameForCurrentUser());
    if (!instance.tryBecomePrimary())
        return 0;
    QApplication::setApplicationDisplayName(QStringLiteral("1-WIRE-TARVIK-MOD Tool"));

    DemoGateway demo;
    if (options.demo) {
        QString error;
        if (!demo.start(&error)) {
            std::fprintf(stderr, "tarvik-tool: %s\n", qPrintable(error));
            return 1;
        }
    }

    TMainForm form(demo.takeTransport());
    QtPrompts prompts(&form);
    Prompts::install(&prompts);
    QObject::connect(&instance, &SingleInstance::activateRequested, &form,
                     &TMainForm::activateFromAnotherInstance);

    if (options.demo) {
        form.setPersistSettings(false); // the user's own port stays stored
        form.useDemoGateway(demo.portName());
    } else if (!options.port.isEmpty()) {
        form.preselectPort(options.port);
    }
    form.showPlaced();
    if (options.connect || options.demo)
        QTimer::singleShot(0, &form, [&form] { form.Connect1Click(); });

    const int status = app.exec();
    Prompts::install(nullptr);
    return status;
}
