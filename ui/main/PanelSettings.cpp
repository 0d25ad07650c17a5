#include "PanelSettings.h"

#include "CommSettings.h"
#include "ErrorGuard.h"
#include "NetworkAddress.h"
#include "PortNames.h"
#include "TAfPortComboBox.h"
#include "TFrame_Komunikace.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSettings>
#include <memory>

void PanelSettings::restore(TFrame_Komunikace &panel)
{
    const std::unique_ptr<QSettings> store(CommSettings::openStore());
    const CommSettings c = CommSettings::load(*store);
    TAfPortComboBox *ports = panel.AfPortComboBox1;
    // A network address is taken only as one the box itself would take.
    const bool usable = c.portName && (!NetworkAddress::isNetworkName(*c.portName) || NetworkAddress::parse(*c.portName));
    if (usable && !PortNames::isComName(*c.portName))
        ports->addNamedPort(*c.portName);
    else if (c.comNumber)
        ports->setPortName(PortNames::fromComNumber(*c.comNumber));
    panel.selectSilently(c.baudIndex, c.addressIndex, c.parityIndex, c.stopBitIndex);
    if (c.usbChecked) {
        panel.CheckBox_USB->setChecked(true);
        ErrorGuard::run([&panel] { panel.CheckBox_USBClick(); });
    }
}

void PanelSettings::save(const TFrame_Komunikace &panel)
{
    const std::unique_ptr<QSettings> store(CommSettings::openStore());
    CommSettings c;
    // Only a port the user chose (or that was restored) is kept; one the list picked by itself
    // is not the user's choice.
    const TAfPortComboBox *ports = panel.AfPortComboBox1;
    const QString port = ports->portChosen() ? ports->portName() : QString();
    if (PortNames::isComName(port))
        c.comNumber = PortNames::comNumberOf(port);
    else if (!port.isEmpty())
        c.portName = port;
    c.baudIndex = panel.ComboBox_BaudRate->currentIndex();
    c.addressIndex = panel.ComboBox_Addr->currentIndex();
    c.parityIndex = panel.Cb_Parity->currentIndex();
    c.stopBitIndex = panel.Cb_Stopbit->currentIndex();
    c.usbChecked = panel.CheckBox_USB->isChecked();
    c.save(*store);
}
