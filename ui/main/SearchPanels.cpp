#include "SearchPanels.h"

#include "DeviceEntry.h"
#include "ErrorGuard.h"
#include "TFrame_FindNewTab.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorNewBox.h"
#include "TTarvikKomunikator.h"

#include <QToolButton>

SearchPanels::SearchPanels(TTarvikKomunikator &komunikator, DeviceEntry &devices, TFrame_LineTab *const tabs[2],
                           TFrame_FindNewTab *const panels[2], QObject *parent)
    : QObject(parent), m_komunikator(komunikator), m_devices(devices), m_tabs{tabs[0], tabs[1]},
      m_panels{panels[0], panels[1]}
{
    wire(0);
    wire(1);
}

void SearchPanels::wire(int line)
{
    const auto guarded = [](auto fn) { return [fn] { ErrorGuard::run(fn); }; };
    TFrame_FindNewTab *panel = m_panels[line];
    connect(m_tabs[line], &TFrame_LineTab::addNewClicked, this, guarded([this, line] { open(line); }));
    connect(panel, &TFrame_FindNewTab::closeClicked, this, guarded([this, line] { close(line); }));
    connect(panel, &TFrame_FindNewTab::findNewClicked, this,
            guarded([this, line] { search(line, &TTarvikKomunikator::FindNew); }));
    connect(panel, &TFrame_FindNewTab::findNewAllClicked, this,
            guarded([this, line] { search(line, &TTarvikKomunikator::FindNewAll); }));
    connect(panel, &TFrame_FindNewTab::findAllClicked, this,
            guarded([this, line] { search(line, &TTarvikKomunikator::FindAll); }));
    connect(panel, &TFrame_FindNewTab::saveClicked, this,
            [this, line](TFrame_SensorNewBox *box) { ErrorGuard::run([&] { saveFoundDevice(line, box); }); });
}

void SearchPanels::open(int line)
{
    // The line tab has put its boxes into service mode and disabled Add New itself.
    m_panels[line]->show();
    m_panels[line]->raise();
}

void SearchPanels::close(int line)
{
    m_panels[line]->hide();
    m_tabs[line]->SpeedButton_AddNew->setEnabled(true);
    m_tabs[line]->SetEditMode(false);
}

void SearchPanels::search(int line, void (TTarvikKomunikator::*command)(int line))
{
    (m_komunikator.*command)(line);
    m_panels[line]->ClearPanel();
}

void SearchPanels::saveFoundDevice(int line, TFrame_SensorNewBox *box)
{
    if (box)
        m_devices.SaveFoundDevice(line, box->index(), box->rom());
}
