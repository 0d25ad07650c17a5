#include "SharedIcon.h"

#include <QApplication>
#include <QHash>
#include <QPointer>

namespace {

// Lives as a child of the application, so the icons go before the application does (a pixmap
// must not outlive the GUI application), and a new application starts with an empty cache.
class IconCache final : public QObject
{
public:
    using QObject::QObject;
    QPointer<QStyle> style;
    QHash<int, QIcon> icons;
};

IconCache *cache()
{
    static QPointer<IconCache> instance;
    if (!instance && qApp)
        instance = new IconCache(qApp);
    return instance;
}

} // namespace

QIcon SharedIcon::standard(QStyle::StandardPixmap which)
{
    QStyle *style = QApplication::style();
    IconCache *c = cache();
    if (!c || !style)
        return style ? style->standardIcon(which) : QIcon();
    if (c->style != style) {
        c->icons.clear();
        c->style = style;
    }
    auto it = c->icons.constFind(int(which));
    if (it == c->icons.constEnd())
        it = c->icons.insert(int(which), style->standardIcon(which));
    return *it;
}
