#include "FirstPaintReporter.h"

#include <QEvent>
#include <QWidget>
#include <chrono>
#include <cstdio>

void FirstPaintReporter::install(QWidget *window)
{
    window->installEventFilter(new FirstPaintReporter(window));
}

bool FirstPaintReporter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
        std::fprintf(stderr, "shown %lld\n", static_cast<long long>(ns));
        std::fflush(stderr);
        watched->removeEventFilter(this);
        deleteLater();
    }
    return false;
}
