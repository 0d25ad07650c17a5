#include "TAfPortComboBox.h"

#include "NetworkAddress.h"
#include "PortNames.h"
#include "Prompts.h"

#include <QFileInfo>
#include <QLineEdit>

TAfPortComboBox::TAfPortComboBox(QWidget *parent)
    : QComboBox(parent), m_enumerator(&SerialPortList::available)
{
    // Editable for a typed network address; what is typed becomes an item only through
    // takeTypedPort, and is never completed into another item's name.
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    lineEdit()->setPlaceholderText(QStringLiteral("tcp://HOST:PORT"));
    connect(this, &QComboBox::activated, this, &TAfPortComboBox::onActivated);
    connect(lineEdit(), &QLineEdit::editingFinished, this, [this] { takeTypedPort(lineEdit()->text()); });
    EnumeratePorts();
}

bool TAfPortComboBox::portExists(const QString &name)
{
    if (PortNames::isComName(name))
        return true; // Windows ports are not files; the driver decides at open.
    if (NetworkAddress::isNetworkName(name))
        return true; // only connecting tells whether a server answers there
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
    // Serial ports first, network addresses after them.
    for (const bool network : {false, true})
        for (const QString &named : std::as_const(m_namedPorts))
            if (NetworkAddress::isNetworkName(named) == network && !ports.contains(named) && portExists(named))
                ports.append(named);

    // The rebuild (every 10 s) must not take away what the user is typing.
    const bool typing = lineEdit()->hasFocus() && lineEdit()->isModified();
    const QString typed = lineEdit()->text();
    const int cursor = lineEdit()->cursorPosition();

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
    if (typing) {
        lineEdit()->setText(typed);
        lineEdit()->setCursorPosition(cursor);
        lineEdit()->setModified(true);
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

void TAfPortComboBox::showChosenPort()
{
    lineEdit()->setText(currentIndex() >= 0 ? itemText(currentIndex()) : QString());
    lineEdit()->setModified(false);
}

QString TAfPortComboBox::typedPortName(const QString &text, QString *why)
{
    if (NetworkAddress::isNetworkName(text)) {
        const auto address = NetworkAddress::parse(text, why);
        return address ? address->name() : QString();
    }
    // A port of this computer the list does not show (a pseudo-terminal, say).
    if (PortNames::isComName(text)) {
        const int n = PortNames::comNumberOf(text);
        return n >= 1 && n <= MaxComPorts ? PortNames::fromComNumber(n) : QString();
    }
    return QFileInfo(text).isAbsolute() && QFileInfo::exists(text) ? text : QString();
}

void TAfPortComboBox::takeTypedPort(const QString &typed)
{
    // Whatever happens next, the typing is over: a rebuild no longer keeps the typed text.
    lineEdit()->setModified(false);
    const QString text = typed.trimmed();
    const int current = currentIndex();
    if (text.isEmpty() || (current >= 0 && text == itemText(current))) {
        showChosenPort();
        return;
    }
    // A listed port, by what the list shows or by its name.
    int index = findText(text, Qt::MatchFixedString);
    if (index < 0)
        index = findData(text);
    if (index >= 0) {
        setCurrentIndex(index);
        onActivated(index);
        return;
    }
    QString why;
    const QString name = typedPortName(text, &why);
    if (name.isEmpty()) {
        // The box shows the chosen port again first: the message takes the focus, which ends
        // the editing once more.
        showChosenPort();
        const QString forms = QStringLiteral("Type tcp://HOST:PORT for a serial server in raw mode or "
                                             "mbap://HOST:PORT for a Modbus TCP gateway, e.g. tcp://192.168.1.50:4001.");
        Prompts::current().warning(
            NetworkAddress::isNetworkName(text)
                ? QStringLiteral("%1 is not a network address: %2.\n%3").arg(text, why, forms)
                : QStringLiteral("%1 is neither a serial port of this computer nor a network address.\n%2").arg(text, forms));
        return;
    }
    if (!m_namedPorts.contains(name))
        m_namedPorts.append(name);
    setPortName(name);
}
