#include "TAfPortComboBox.h"

#include "PortNames.h"

#include <QFileInfo>

TAfPortComboBox::TAfPortComboBox(QWidget *parent)
    : QComboBox(parent), m_enumerator(&SerialPortList::available)
{
    connect(this, &QComboBox::activated, this, &TAfPortComboBox::onActivated);
    EnumeratePorts();
}

bool TAfPortComboBox::portExists(const QString &name)
{
    if (PortNames::isComName(name))
        return true; // Windows ports are not files; the driver decides at open.
    return QFileInfo::exists(name);
}

void TAfPortComboBox::setEnumerator(Enumerator enumerator)
{
    m_enumerator = std::move(enumerator);
    EnumeratePorts();
}

void TAfPortComboBox::EnumeratePorts()
{
    QStringList ports = m_enumerator ? m_enumerator() : QStringList();
    for (const QString &named : m_namedPorts)
        if (!ports.contains(named) && portExists(named))
            ports.append(named);

    const QString before = m_portName;
    {
        // Rebuilding the items is not a choice of the user's.
        const QSignalBlocker blocker(this);
        clear();
        for (const QString &port : ports)
            addItem(PortNames::displayName(port), port);
        m_present = !m_portName.isEmpty() && ports.contains(m_portName);
        if (m_chosen && !m_portName.isEmpty() && !m_present) {
            // The chosen port is gone for now (unplugged, its peer ended): keep it, marked.
            addItem(PortNames::displayName(m_portName) + notPresentSuffix(), m_portName);
            setItemData(count() - 1, palette().color(QPalette::Disabled, QPalette::Text),
                        Qt::ForegroundRole);
        }
        const int index = findData(m_portName);
        if (index >= 0) {
            setCurrentIndex(index);
        } else if (count() > 0) {
            setCurrentIndex(0);
            m_portName = itemData(0).toString();
            m_present = true;
        } else {
            m_portName.clear();
        }
    }
    if (m_portName != before)
        emit portChanged(m_portName);
}

void TAfPortComboBox::addNamedPort(const QString &name)
{
    if (name.isEmpty())
        return;
    if (!m_namedPorts.contains(name))
        m_namedPorts.append(name);
    m_portName = name;
    m_chosen = true;
    EnumeratePorts();
}

void TAfPortComboBox::setPortName(const QString &name)
{
    const bool changed = name != m_portName;
    m_portName = name;
    m_chosen = !name.isEmpty();
    EnumeratePorts();
    if (changed)
        emit portChanged(m_portName);
}

int TAfPortComboBox::ComNumber() const
{
    return PortNames::comNumberOf(m_portName);
}

void TAfPortComboBox::onActivated(int index)
{
    setPortName(itemData(index).toString());
}
