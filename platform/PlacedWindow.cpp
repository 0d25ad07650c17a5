#include "PlacedWindow.h"

#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

namespace {

// The frame's size around the client area: the window system's once it is known, else the
// style's estimate of a title bar and borders.
QMargins frameMarginsEstimate(const QWidget &window)
{
    if (const QWindow *w = window.windowHandle(); w && !w->frameMargins().isNull())
        return w->frameMargins();
    const QStyle *style = window.style();
    const int border = style->pixelMetric(QStyle::PM_DefaultFrameWidth) + 2;
    return QMargins(border, style->pixelMetric(QStyle::PM_TitleBarHeight) + border, border, border);
}

} // namespace

bool PlacedWindow::place(QWidget &window, const QSize &designed)
{
    window.resize(designed);
    const QSize outer = designed.grownBy(frameMarginsEstimate(window));
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 0, 0);
    const WindowPlacement placement = WindowPlacement::place(outer, work);
    if (!placement.maximised) {
        window.setFixedSize(designed);
        window.move(placement.topLeft); // a top-level window's position is that of its frame
    }
    return placement.maximised;
}
