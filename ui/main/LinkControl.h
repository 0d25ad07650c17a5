#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class TAfComPort;
class TFrame_Komunikace;
class TTarvikKomunikator;

// The connection panel drives the link. Its lists show the gateway's speeds, addresses,
// parities and stop bits; each change goes to the communicator through the error guard;
// Connected opens the port with all four settings in force, and clearing it closes the port
// and leaves the last values readable. A link lost under the window (device unplugged, read
// failure) closes the port once, shows the last values as old, and keeps Connected ticked
// while it tries to open the same port again every RetryMs: a re-plugged adapter is polled
// again without a click. Each try that fails is silent; clearing Connected ends the tries.
// The status bar note says what happened. Every part given must outlive this object.
class LinkControl : public QObject
{
    Q_OBJECT
public:
    static constexpr int RetryMs = 2000;

    struct Parts
    {
        TTarvikKomunikator *komunikator;
        TAfComPort *port;
        TFrame_Komunikace *panel;
    };
    // What the window shows of the link.
    struct Display
    {
        // A new link: nothing of the last gateway stays on screen.
        std::function<void()> clear;
        // The line tabs look live, or show the last values of a closed link.
        std::function<void(bool live)> setLive;
        // The note that the link was lost; empty when the values are live again.
        std::function<void(const QString &notice)> showNotice;
        // The port opened or closed: the menu follows.
        std::function<void(bool connected)> connectionChanged;
    };

    LinkControl(const Parts &parts, Display display, QObject *parent = nullptr);

    // Connected was ticked or cleared.
    void setConnected(bool connected);
    // An error that reached the application's handler. The link's own (a speed the port
    // refuses, a read failure) are dealt with here; returns false for any other.
    bool handleError(const QString &message);
    QString notice() const { return m_notice; }
    // The port was lost and is being tried again.
    bool retrying() const { return m_retry.isActive(); }
    // One try to open the lost port again; the timer runs it, tests may call it.
    void retry();
    // The window closes: no more tries.
    void stopRetrying() { m_retry.stop(); }

private:
    // Opens the port with the panel's settings; throws what the port or the settings throw.
    void open();
    void lost();
    void setLive(bool live);
    void setNotice(const QString &notice);
    // What the note says once the tries ended without the port: the values are the last ones.
    QString lostText() const;

    Parts m_parts;
    Display m_display;
    QString m_notice;
    QTimer m_retry;
    QString m_lostPort; // the port being tried again, as shown
    QString m_lostAt;   // when it was lost
};
