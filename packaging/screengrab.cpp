// Saves what the window system shows of one X11 window, or of the whole screen, as a PNG: the
// pictures of the tool for its software-centre entry are taken with the tool itself running.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 3) {
        std::fputs("Usage: tarvik-screengrab WINDOW-ID|root FILE.png\n", stderr);
        return 2;
    }
    bool ok = true;
    const WId window = args[1] == QLatin1String("root") ? 0 : args[1].toULongLong(&ok, 0);
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!ok || !screen) {
        std::fprintf(stderr, "tarvik-screengrab: %s\n", ok ? "no screen" : "not a window id");
        return 2;
    }
    const QPixmap shot = screen->grabWindow(window);
    if (shot.isNull() || !shot.save(args[2], "PNG")) {
        std::fprintf(stderr, "tarvik-screengrab: could not grab or save %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
