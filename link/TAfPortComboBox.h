#pragma once

#include "SerialPortList.h"

#include <QComboBox>
#include <QStringList>
#include <functional>

// The list of serial ports in the connection panel. Items show "COM n" on Windows and the
// device path elsewhere; each carries its port name. Ports named explicitly (on the command
// line, or restored from the settings) are listed too while they exist, because
// pseudo-terminals and some adapters are never enumerated. A port the user chose (or that was
// restored or named) stays selected when it vanishes, marked as not present, so that an
// adapter unplugged and plugged in again is still the one Connect opens; only when nothing was
// chosen does the list pick its first port by itself. Choosing an item never opens anything.
//
// A line reached over the network is typed into the box ("tcp://HOST:PORT" for a serial server
// in raw mode, "mbap://HOST:PORT" for a Modbus TCP gateway): it is listed after the serial
// ports, chosen like one, and always present (only connecting tells whether it answers). A
// typed text that is no such address and no port of this computer is refused with a message
// that says what to type.
class TAfPortComboBox : public QComboBox
{
    Q_OBJECT
public:
    static constexpr int MaxComPorts = SerialPortList::MaxComPorts;
    using Enumerator = std::function<QStringList()>;

    explicit TAfPortComboBox(QWidget *parent = nullptr);

    // Rebuilds the list. A chosen port stays selected, listed as not present while the system
    // does not have it. Without a choice the current port stays selected if it is still there;
    // otherwise the first item is selected and its port taken; with an empty list no port is
    // selected.
    void EnumeratePorts();
    // Lists the port from now on, as long as it exists, and selects it.
    void addNamedPort(const QString &name);

    QString portName() const { return m_portName; }
    // Makes the port the chosen one and selects it, listed as not present when the system does
    // not have it.
    void setPortName(const QString &name);
    // Whether the selected port is one the user chose (or that was restored or named), rather
    // than one the list picked by itself.
    bool portChosen() const { return m_chosen; }
    // Whether the selected port exists now.
    bool portPresent() const { return m_present; }
    // The suffix of the item of a chosen port that the system does not have.
    static QString notPresentSuffix() { return QStringLiteral(" (not present)"); }
    // The number of the selected COM port; 0 when none is selected or the port has no number.
    int ComNumber() const;

    // Replaces the system's port enumeration (tests).
    void setEnumerator(Enumerator enumerator);

    // What the user typed into the box, once the typing is finished (Enter or leaving the box):
    // a listed port, a network address or a port of this computer becomes the chosen port;
    // anything else is refused through the prompts, and the box shows the chosen port again.
    void takeTypedPort(const QString &typed);

signals:
    void portChanged(const QString &portName);

private:
    void onActivated(int index);
    static bool portExists(const QString &name);
    // The port a typed text names, if it names one.
    static QString typedPortName(const QString &text, QString *why);
    void showChosenPort();

    Enumerator m_enumerator;
    QStringList m_namedPorts;
    QString m_portName;
    bool m_chosen = false;
    bool m_present = false;
};
