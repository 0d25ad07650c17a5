#pragma once

#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QKeySequence;
class QMenu;
class QMenuBar;

// The main window's menu bar: every item with its name, caption in both languages and
// shortcut, the handler each item runs (through the error guard, so nothing a handler throws
// crosses the event loop), and the rules that enable the items as the link, the recorder and
// the programmer come and go. The window keeps only the handlers.
class MainMenu : public QObject
{
    Q_OBJECT
public:
    // Handlers by item name ("Import1", "Connect1", ...); an item without one does nothing.
    using Handlers = QHash<QString, std::function<void()>>;

    // Fills bar, which must outlive this object (the window's own menu bar does).
    MainMenu(QMenuBar *bar, Handlers handlers, std::function<void(int tag)> openManual, QObject *parent = nullptr);

    QAction *action(const QString &name) const { return m_actions.value(name); }

    // Every caption in the program's current language.
    void ApplyCaptions();
    // Makes index the program's language, ticks its item and shows the captions in it.
    void setLanguage(int index);

    // The link is (dis)connected: Connect and Disconnect swap; Start Logging follows the link
    // unless the recorder runs.
    void linkChanged(bool connected, bool recorderRunning);
    // The recorder started (Stop Logging usable) or stopped (Start Logging as the link allows).
    void recorderChanged(bool running, bool connected);

private:
    QMenu *addMenu(const char *name, const QString &title);
    QAction *addItem(QMenu *menu, const char *name, const QString &text, const QKeySequence &shortcut);
    QAction *addItem(QMenu *menu, const char *name, const QString &text);
    // Runs the handler of the item named.
    void run(const QString &name);
    void build();
    // One menu level's captions given unique mnemonics.
    void assignMnemonics(const QList<QAction *> &actions);

    QMenuBar *m_bar;
    Handlers m_handlers;
    std::function<void(int tag)> m_openManual;
    QMap<QString, QAction *> m_actions;
};
