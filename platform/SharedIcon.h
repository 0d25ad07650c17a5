#pragma once

#include <QIcon>
#include <QStyle>

// The style's standard icons, made once per application and shared by every button that shows
// them. Each QStyle::standardIcon call decodes its images afresh (three sizes each); the eighty
// channel boxes would decode several hundred images before the window first shows.
class SharedIcon
{
public:
    static QIcon standard(QStyle::StandardPixmap which);
};
