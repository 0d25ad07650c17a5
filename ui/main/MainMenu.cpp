#include "MainMenu.h"

#include "ErrorGuard.h"
#include "Language.h"
#include "MenuCaptions.h"
#include "Mnemonics.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

MainMenu::MainMenu(QMenuBar *bar, Handlers handlers, std::function<void(int tag)> openManual, QObject *parent)
    : QObject(parent), m_bar(bar), m_handlers(std::move(handlers)), m_openManual(std::move(openManual))
{
    build();
    ApplyCaptions();
}

QMenu *MainMenu::addMenu(const char *name, const QString &title)
{
    QMenu *menu = m_bar->addMenu(title);
    menu->setObjectName(QLatin1String(name));
    menu->menuAction()->setObjectName(QLatin1String(name));
    m_actions.insert(QLatin1String(name), menu->menuAction());
    return menu;
}

QAction *MainMenu::addItem(QMenu *menu, const char *name, const QString &text, const QKeySequence &shortcut)
{
    QAction *a = addItem(menu, name, text);
    a->setShortcut(shortcut);
    return a;
}

QAction *MainMenu::addItem(QMenu *menu, const char *name, const QString &text)
{
    QAction *a = menu->addAction(text);
    const QString key = QLatin1String(name);
    a->setObjectName(key);
    m_actions.insert(key, a);
    connect(a, &QAction::triggered, this, [this, key] { run(key); });
    return a;
}

void MainMenu::run(const QString &name)
{
    if (const auto handler = m_handlers.value(name))
        ErrorGuard::run(handler);
}

void MainMenu::build()
{
    QMenu *file = addMenu("File1", QStringLiteral("File"));
    addItem(file, "Import1", QStringLiteral("Open"), QKeySequence(Qt::CTRL | Qt::Key_O));
    addItem(file, "Export1", QStringLiteral("Save to File"), QKeySequence(Qt::CTRL | Qt::Key_S));
    file->addSeparator();
    addItem(file, "Exit1", QStringLiteral("Exit"), QKeySequence(Qt::ALT | Qt::Key_F4));

    QMenu *comm = addMenu("Communication1", QStringLiteral("Communication"));
    addItem(comm, "Connect1", QStringLiteral("Connect"), QKeySequence(Qt::Key_F3));
    addItem(comm, "Disconnect1", QStringLiteral("Disconnect"), QKeySequence(Qt::Key_F4))->setEnabled(false);
    comm->addSeparator();
    addItem(comm, "FindGateway1", QStringLiteral("Find gateway..."));
    addItem(comm, "TrafficMonitor1", QStringLiteral("Traffic monitor..."));

    QMenu *settings = addMenu("Settings1", QStringLiteral("&Settings"));
    addItem(settings, "Portsetti1", QStringLiteral("&Port  settings..."));
    addItem(settings, "Expertsettings1", QStringLiteral("&Expert settings..."));

    QMenu *upgrade = addMenu("SWUpgrade1", QStringLiteral("Upgrade SW"));
    addItem(upgrade, "UpgradeSW1", QStringLiteral("Upgrade SW"))
        ->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_U)});

    QMenu *descriptions = addMenu("Descriptions1", QStringLiteral("Descriptions"));
    addItem(descriptions, "ShowDescriptions1", QStringLiteral("Show"), QKeySequence(Qt::CTRL | Qt::Key_D))->setCheckable(true);
    addItem(descriptions, "DeleteDescriptions1", QStringLiteral("Delete"));
    descriptions->addSeparator();
    addItem(descriptions, "SaveToFile1", QStringLiteral("Save to File"));
    addItem(descriptions, "LoadfomFile1", QStringLiteral("Load from File"));

    QMenu *recorder = addMenu("Record1", QStringLiteral("Recorder"));
    addItem(recorder, "Startlogging1", QStringLiteral("Start Logging"))->setEnabled(false);
    addItem(recorder, "StopLogging1", QStringLiteral("Stop Logging"))->setEnabled(false);
    recorder->addSeparator();
    addItem(recorder, "RecordOptions1", QStringLiteral("Recorder Options"));
    addItem(recorder, "TrendChart1", QStringLiteral("Trend chart..."));

    QMenu *language = addMenu("Language1", QStringLiteral("Language"));
    language->menuAction()->setVisible(false);
    auto *group = new QActionGroup(this);
    QAction *czech = addItem(language, "Czech1", QStringLiteral("Ceština"));
    QAction *english = addItem(language, "English1", QStringLiteral("English"));
    for (QAction *a : {czech, english}) {
        a->setCheckable(true);
        group->addAction(a);
    }
    (Language::current() == Language::Czech ? czech : english)->setChecked(true);
    m_handlers.insert(QStringLiteral("Czech1"), [this] { setLanguage(Language::Czech); });
    m_handlers.insert(QStringLiteral("English1"), [this] { setLanguage(Language::English); });

    QMenu *help = addMenu("Help1", QStringLiteral("&Help"));
    addItem(help, "ApplicationManual", QStringLiteral("1-WIRE-TARVIK Tool User &Manual"), QKeySequence(Qt::Key_F1));
    addItem(help, "GatewayManual", QStringLiteral("&Gateway 1-Wire/Modbus User Manual"))->setVisible(false);
    m_handlers.insert(QStringLiteral("ApplicationManual"), [this] { m_openManual(0); });
    m_handlers.insert(QStringLiteral("GatewayManual"), [this] { m_openManual(1); });
    help->addSeparator();
    addItem(help, "About1", QStringLiteral("&About..."));
}

void MainMenu::ApplyCaptions()
{
    const int language = Language::current();
    for (const MenuCaption &c : MenuCaptions::table())
        if (QAction *a = m_actions.value(QLatin1String(c.item)))
            a->setText(c.in(language));
    // Items whose caption has no mnemonic, or one taken in its menu, get a free one.
    assignMnemonics(m_bar->actions());
    for (QAction *a : m_bar->actions())
        if (a->menu())
            assignMnemonics(a->menu()->actions());
}

void MainMenu::assignMnemonics(const QList<QAction *> &actions)
{
    QList<QAction *> items;
    QStringList captions;
    for (QAction *a : actions)
        if (!a->isSeparator()) {
            items << a;
            captions << a->text();
        }
    const QStringList marked = Mnemonics::assign(captions);
    for (int i = 0; i < items.size(); ++i)
        if (items[i]->text() != marked[i])
            items[i]->setText(marked[i]);
}

void MainMenu::setLanguage(int index)
{
    action(index == Language::Czech ? QStringLiteral("Czech1") : QStringLiteral("English1"))->setChecked(true);
    if (index == Language::current())
        return;
    Language::set(index);
    ApplyCaptions();
}

void MainMenu::linkChanged(bool connected, bool recorderRunning)
{
    action(QStringLiteral("Connect1"))->setEnabled(!connected);
    action(QStringLiteral("Disconnect1"))->setEnabled(connected);
    if (!recorderRunning)
        action(QStringLiteral("Startlogging1"))->setEnabled(connected);
}

void MainMenu::recorderChanged(bool running, bool connected)
{
    action(QStringLiteral("StopLogging1"))->setEnabled(running);
    action(QStringLiteral("Startlogging1"))->setEnabled(!running && connected);
}
