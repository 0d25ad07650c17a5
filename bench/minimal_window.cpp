// The yardstick of the start-up and memory benchmarks: an empty Qt Widgets window of the main
// window's size, reporting its first paint the same way the tool does.
#include "FirstPaintReporter.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(1211, 681);
    window.show();
    FirstPaintReporter::install(&window);
    return app.exec();
}
