#pragma once

#include "GatewayFinder.h"

#include <QObject>
#include <functional>
#include <memory>

class FindGatewayDialog;
class QWidget;
class TAfComPort;
class TFrame_Komunikace;
class TTarvikKomunikator;

// Find gateway from the window: searches the port chosen in the connection panel for a gateway
// at every speed and address (GatewayFinder, as the command line's scan does), with the
// panel's parity and stop bits and the panel's address first. An open link on the port is
// closed first (the search needs the port to itself). The search runs on the event loop
// behind a window that shows its progress and can end it: Cancel leaves things as they were
// (a link that was open opens again), Connect now goes on with the gateways found so far. A
// gateway found fills in the panel's speed and address and connects; of several, the user
// picks one; when none answered, a message says so and what to check. Every part given must
// outlive this object.
class GatewaySearch : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        QWidget *window;
        TTarvikKomunikator *komunikator;
        TAfComPort *port;
        TFrame_Komunikace *panel;
        // Why the port cannot be searched now (work in progress on the link); empty when it can.
        std::function<QString()> busy;
    };

    explicit GatewaySearch(const Parts &parts, QObject *parent = nullptr);
    ~GatewaySearch() override;

    // The menu item: starts a search, or brings the running one's window forward.
    void start();
    bool running() const { return m_finder && m_finder->running(); }
    // The window closes: a running search ends with the port closed, nothing said and nothing
    // connected.
    void abandon();
    // Made with the first search.
    FindGatewayDialog *dialog() const { return m_dialog.get(); }
    GatewayFinder *finder() const { return m_finder.get(); }

    // The speed and address pairs in the order the window tries them: the common speeds first,
    // and the address the panel shows before 1-247.
    static GatewayFinder::Options optionsFor(int panelAddress);
    // Changes the pairs and the probe time of every search from now on (tests narrow a
    // search that would otherwise take minutes).
    void setOptionsAdjust(std::function<void(GatewayFinder::Options &)> adjust) { m_adjust = std::move(adjust); }

private:
    void onProbing(qint32 baud, int address, int tried);
    void onFound(const GatewayFinder::Find &find);
    void onFinished();
    // Connects to the gateway found, through the panel as a user would.
    void use(const GatewayFinder::Find &find);
    // Cancelled, or nothing to go on with: a link that was open before opens again.
    void restore();
    QString portShown() const;

    Parts m_parts;
    std::unique_ptr<FindGatewayDialog> m_dialog;
    std::unique_ptr<GatewayFinder> m_finder;
    std::function<void(GatewayFinder::Options &)> m_adjust;
    bool m_wasConnected = false;
    bool m_useFound = false;
};
