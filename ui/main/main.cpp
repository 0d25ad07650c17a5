#include "CommandLine.h"
#include "DemoGateway.h"
#include "ErrorGuard.h"
#include "QtPrompts.h"
#include "SingleInstance.h"
#include "TForm_MaskInputBox.h"
#include "THelpOpener.h"
#include "TMainForm.h"
#include "FirstPaintReporter.h"

#include <QApplication>
#include <QIcon>
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

// Whether Qt will find a window system: on X11 and Wayland systems the variables tell, unless a
// platform is named explicitly (offscreen, vnc...).
bool displayAvailable()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    // The command line is read before the window system is touched, so --help and a wrong
    // option work anywhere.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine options = CommandLine::parse(arguments);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "tarvik-tool: %s\n%s", qPrintable(options.error), qPrintable(CommandLine::usage()));
        return 2;
    }
    if (options.help) {
        std::fputs(qPrintable(CommandLine::usage()), stdout);
        return 0;
    }
    if (!displayAvailable()) {
        std::fputs("tarvik-tool: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
                   "set).\nStart it in a desktop session, or without one under a virtual display: "
                   "xvfb-run -a tarvik-tool --demo\n",
                   stderr);
        return 2;
    }

    GuardedApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("1-WIRE-TARVIK Tool"));
    QApplication::setOrganizationName(QStringLiteral("Quarnel"));
    QApplication::setApplicationDisplayName(QStringLiteral("1-WIRE-TARVIK Tool V1.09 (OBRIX)"));
#ifdef TARVIK_DESKTOP_FILE_NAME
    // The desktop entry an installed tool was started from: the dock groups the window under it.
    QGuiApplication::setDesktopFileName(QStringLiteral(TARVIK_DESKTOP_FILE_NAME));
#endif
    // The installed icon theme's picture, where there is one; nothing otherwise.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tarvik-tool")));

    // One tool per user: a second start brings the first one forward and ends quietly.
    SingleInstance instance(SingleInstance::nameForCurrentUser());
    if (!instance.tryBecomePrimary())
        return 0;

    // Writes the manuals on request and removes them at exit; it outlives the window.
    THelpOpener helpOpener;

    DemoGateway demo;
    if (options.demo) {
        QString error;
        if (!demo.start(&error)) {
            std::fprintf(stderr, "tarvik-tool: %s\n", qPrintable(error));
            return 1;
        }
    }

    TMainForm form(demo.takeTransport());
    form.setHelpOpener(&helpOpener);
    QtPrompts prompts(&form);
    prompts.setMaskedQuery(&TForm_MaskInputBox::MaskInputQuery);
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
    // For the start-up benchmark: the moment of the first paint, on the steady clock.
    if (qEnvironmentVariableIsSet("TARVIK_REPORT_SHOWN"))
        FirstPaintReporter::install(&form);
    if (options.connect || options.demo)
        QTimer::singleShot(0, &form, [&form] { form.Connect1Click(); });
    if (options.monitor)
        form.TrafficMonitor1Click();
    if (options.chart)
        form.TrendChart1Click();

    const int status = app.exec();
    Prompts::install(nullptr);
    return status;
}
