#pragma once

#include <QString>
#include <QList>

// The menu captions in both languages, by the menu item's name, each with its mnemonic ("&File":
// Alt+F), unique within its menu.
struct MenuCaption
{
    const char *item;
    QString english;
    QString czech;
    QString in(int language) const;
};

class MenuCaptions
{
public:
    static const QList<MenuCaption> &table();
};
