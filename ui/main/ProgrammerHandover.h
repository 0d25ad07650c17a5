#pragma once

#include <QObject>
#include <functional>
#include <memory>

class MainMenu;
class QWidget;
class SerialTransport;
class TAfComPort;
class TForm_Programmer;
class TFrame_Komunikace;
class TTarvikKomunikator;

// Upgrade SW: the main window hands its link (port name, speed, address) to the programmer
// window, closes its own port and hides; when the programmer window closes, the main window
// shows again and connects again if the programmer was connected at the end. The programmer
// window is made on first use and kept. Every part given must outlive this object.
class ProgrammerHandover : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        QWidget *window;
        TTarvikKomunikator *komunikator;
        TAfComPort *port;
        TFrame_Komunikace *panel;
        MainMenu *menu;
    };

    explicit ProgrammerHandover(const Parts &parts, QObject *parent = nullptr);
    ~ProgrammerHandover() override;

    // Hands the link over, or says why it cannot: a closed port, a gateway in timeout.
    void Start();
    TForm_Programmer *programmer() const { return m_programmer.get(); }
    // The transport of the programmer window's own port (tests); a QSerialPort otherwise.
    void setTransportFactory(std::function<std::unique_ptr<SerialTransport>()> factory) { m_transport = std::move(factory); }

private:
    // The programmer window closed: the link comes back if its port was connected.
    void closed(int result);

    Parts m_parts;
    std::unique_ptr<TForm_Programmer> m_programmer;
    std::function<std::unique_ptr<SerialTransport>()> m_transport;
};
