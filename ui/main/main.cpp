#include "ErrorGuard.h"
#include "QtPrompts.h"
#include "TFrame_Pocitadlo.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QVBoxLayout>

// Start-up window of the tool while the main window is being built: it shows the program's
// caption and the message counters panel.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("1-WIRE-TARVIK Tool"));

    QMainWindow window;
    QtPrompts prompts(&window);
    Prompts::install(&prompts);
    ErrorGuard::setHandler([&](const QString &message) { prompts.error(message); });

    window.setWindowTitle(QStringLiteral("1-WIRE-TARVIK Tool V1.09 (OBRIX)"));
    auto *central = new QWidget(&window);
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(new QLabel(QStringLiteral("1-Wire to Modbus RTU gateway tool"), central));
    layout->addWidget(new TFrame_Pocitadlo(central));
    window.setCentralWidget(central);
    window.resize(640, 480);
    window.show();
    return app.exec();
}
