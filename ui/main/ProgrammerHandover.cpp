#include "ProgrammerHandover.h"

#include "ErrorGuard.h"
#include "LinkMessages.h"
#include "MainMenu.h"
#include "Prompts.h"
#include "SerialTransport.h"
#include "TAfComPort.h"
#include "TForm_Programmer.h"
#include "TFrame_Komunikace.h"
#include "TTarvikKomunikator.h"

#include <QAction>
#include <QScopeGuard>
#include <QWidget>

ProgrammerHandover::ProgrammerHandover(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts) {}

ProgrammerHandover::~ProgrammerHandover() = default;

void ProgrammerHandover::Start()
{
    MainMenu &menu = *m_parts.menu;
    TFrame_Komunikace &panel = *m_parts.panel;
    QAction *item = menu.action(QStringLiteral("UpgradeSW1"));
    item->setEnabled(false);
    // Usable again on every way out; after a handover, once the programmer window closes.
    auto enableAgain = qScopeGuard([item] { item->setEnabled(true); });
    panel.setConnected(true);
    if (!m_parts.komunikator->Active()) {
        Prompts::current().information(QString::fromLatin1(kPortInactiveMessage));
        return;
    }
    if (panel.TimeoutShown()) {
        Prompts::current().information(QStringLiteral("Timeout."));
        return;
    }
    const QString portName = m_parts.port->portName();
    const qint32 baud = m_parts.komunikator->UserBaudRate();
    const uint8_t address = m_parts.komunikator->SlaveAddress();
    panel.setConnected(false);
    panel.Timer_Update.stop();
    if (!m_programmer) {
        m_programmer = std::make_unique<TForm_Programmer>(m_transport ? m_transport() : nullptr);
        m_programmer->setWindowModality(Qt::ApplicationModal);
        connect(m_programmer.get(), &QDialog::finished, this, [this](int result) { ErrorGuard::run([&] { closed(result); }); });
    }
    m_programmer->setWindowTitle(TForm_Programmer::caption());
    enableAgain.dismiss();
    m_programmer->takeLink(portName, baud, address);
    menu.action(QStringLiteral("Connect1"))->setEnabled(false);
    menu.action(QStringLiteral("Disconnect1"))->setEnabled(true);
    m_parts.window->hide();
    m_programmer->show();
}

void ProgrammerHandover::closed(int result)
{
    auto enableAgain = qScopeGuard([this] {
        m_parts.panel->Timer_Update.start();
        m_parts.menu->action(QStringLiteral("UpgradeSW1"))->setEnabled(true);
    });
    m_parts.window->show();
    if (result == QDialog::Accepted) {
        m_parts.panel->setConnected(true);
    } else {
        m_parts.menu->action(QStringLiteral("Connect1"))->setEnabled(true);
        m_parts.menu->action(QStringLiteral("Disconnect1"))->setEnabled(false);
    }
}
