#include "CommSettings.h"

#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("CommSetting");

// The stored integer under key when it is a whole number in [0, count); nullopt otherwise.
std::optional<int> readIndex(QSettings &s, const QString &key, int first, int last)
{
    const QVariant v = s.value(key);
    if (!v.isValid())
        return std::nullopt;
    bool ok = false;
    const int i = v.toString().trimmed().toInt(&ok);
    if (!ok || i < first || i > last)
        return std::nullopt;
    return i;
}

QString &redirectedStore()
{
    static QString file;
    return file;
}

} // namespace

void CommSettings::redirectStore(const QString &iniFile)
{
    redirectedStore() = iniFile;
}

QSettings *CommSettings::openStore()
{
    if (!redirectedStore().isEmpty())
        return new QSettings(redirectedStore(), QSettings::IniFormat);
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quarnel"),
                         QStringLiteral("1-WIRE-TARVIK Tool"));
}

CommSettings CommSettings::load(QSettings &store)
{
    CommSettings c;
    store.beginGroup(kGroup);
    c.comNumber = readIndex(store, QStringLiteral("ComNum"), 1, MaxComNumber);
    const QString name = store.value(QStringLiteral("PortName")).toString().trimmed();
    if (!name.isEmpty())
        c.portName = name;
    c.baudIndex = readIndex(store, QStringLiteral("BR_Index"), 0, BaudCount - 1).value_or(c.baudIndex);
    c.addressIndex = readIndex(store, QStringLiteral("SlaveAddr_Index"), 0, AddressCount - 1).value_or(c.addressIndex);
    c.parityIndex = readIndex(store, QStringLiteral("Parity_Index"), 0, ParityCount - 1).value_or(c.parityIndex);
    c.stopBitIndex = readIndex(store, QStringLiteral("Stopbit_Index"), 0, StopBitCount - 1).value_or(c.stopBitIndex);
    c.usbChecked = readIndex(store, QStringLiteral("USB_Checked"), 0, 1).value_or(0) == 1;
    store.endGroup();
    return c;
}

void CommSettings::save(QSettings &store) const
{
    store.beginGroup(kGroup);
    store.setValue(QStringLiteral("ComNum"), comNumber.value_or(0));
    if (portName)
        store.setValue(QStringLiteral("PortName"), *portName);
    else
        store.remove(QStringLiteral("PortName"));
    store.setValue(QStringLiteral("BR_Index"), baudIndex);
    store.setValue(QStringLiteral("SlaveAddr_Index"), addressIndex);
    store.setValue(QStringLiteral("Parity_Index"), parityIndex);
    store.setValue(QStringLiteral("Stopbit_Index"), stopBitIndex);
    store.setValue(QStringLiteral("USB_Checked"), usbChecked ? 1 : 0);
    store.endGroup();
    store.sync();
}
