#include "GatewaySearch.h"

#include "ChannelText.h"
#include "ErrorGuard.h"
#include "FindGatewayDialog.h"
#include "Language.h"
#include "PortNames.h"
#include "Prompts.h"
#include "TAfComPort.h"
#include "TAfPortComboBox.h"
#include "TFrame_Komunikace.h"
#include "TTarvikKomunikator.h"

#include <QComboBox>

namespace {

QString pick(const QString &english, const QString &czech)
{
    return Language::current() == Language::Czech ? czech : english;
}

// As the panel's speed list shows it: "19.2 kBd".
QString speedText(qint32 baud)
{
    return QString::asprintf("%.1f kBd", baud / 1000.0);
}

} // namespace

GatewaySearch::GatewaySearch(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts) {}

GatewaySearch::~GatewaySearch()
{
    // The finder gives the port's handlers back first; the port closes with the window.
    m_finder.reset();
}

GatewayFinder::Options GatewaySearch::optionsFor(int panelAddress)
{
    GatewayFinder::Options options;
    options.speeds = GatewayFinder::commonFirst();
    if (panelAddress >= 1 && panelAddress <= 247)
        options.addresses.append(panelAddress);
    for (int a = 1; a <= 247; ++a)
        if (a != panelAddress)
            options.addresses.append(a);
    return options;
}

QString GatewaySearch::portShown() const
{
    return PortNames::displayName(m_parts.panel->AfPortComboBox1->portName());
}

void GatewaySearch::start()
{
    if (running()) {
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    if (m_parts.busy) {
        if (const QString why = m_parts.busy(); !why.isEmpty()) {
            Prompts::current().information(why);
            return;
        }
    }
    TFrame_Komunikace *panel = m_parts.panel;
    const QString portName = panel->AfPortComboBox1->portName();
    if (portName.isEmpty()) {
        Prompts::current().information(pick(QStringLiteral("Choose the port the gateway is connected to, then Find gateway again."),
                                            QStringLiteral("Vyberte port, ke kterému je brána pripojena, a pak znovu Vyhledat bránu.")));
        return;
    }
    // The search needs the port to itself: an open link (or one being tried again) is closed,
    // as clearing Connected does.
    m_wasConnected = panel->Connected();
    if (m_wasConnected)
        panel->setConnected(false);
    TTarvikKomunikator *k = m_parts.komunikator;
    TAfComPort *port = m_parts.port;
    try {
        k->SetParity(panel->Cb_Parity->currentIndex());
        k->SetStopBits(panel->Cb_Stopbit->currentIndex());
        port->setPortName(portName);
        port->open();
    } catch (const std::exception &e) {
        ErrorGuard::report(QString::fromUtf8(e.what()));
        restore();
        return;
    }

    m_useFound = false;
    GatewayFinder::Options options = optionsFor(panel->ComboBox_Addr->currentIndex() + 1);
    if (m_adjust)
        m_adjust(options);
    m_finder = std::make_unique<GatewayFinder>(*port, options);
    connect(m_finder.get(), &GatewayFinder::probing, this, [this](qint32 baud, int address, int tried) { onProbing(baud, address, tried); });
    connect(m_finder.get(), &GatewayFinder::confirming, this, [this](qint32 baud, int address) {
        m_dialog->setProgress(pick(QStringLiteral("%1, address %2 answered: asking again"), QStringLiteral("%1, adresa %2 odpovedela: ptám se znovu"))
                                  .arg(speedText(baud))
                                  .arg(address),
                              m_finder->tried(), m_finder->tried() + m_finder->toTry());
    });
    connect(m_finder.get(), &GatewayFinder::found, this, [this](const GatewayFinder::Find &find) { onFound(find); });
    // Taken up from the event loop: the finder is still inside its own signal.
    connect(m_finder.get(), &GatewayFinder::finished, this, [this] { ErrorGuard::run([this] { onFinished(); }); }, Qt::QueuedConnection);

    if (!m_dialog) {
        m_dialog = std::make_unique<FindGatewayDialog>(m_parts.window);
        connect(m_dialog.get(), &FindGatewayDialog::cancelled, this, [this] {
            if (m_finder)
                m_finder->cancel();
        });
        connect(m_dialog.get(), &FindGatewayDialog::connectNow, this, [this] {
            m_useFound = true;
            if (m_finder)
                m_finder->cancel();
        });
    }
    m_dialog->begin(portShown());
    m_dialog->show();
    m_finder->start();
}

void GatewaySearch::abandon()
{
    if (!running())
        return;
    disconnect(m_finder.get(), nullptr, this, nullptr);
    m_finder->cancel();
    m_wasConnected = false;
    m_parts.port->close();
    m_dialog->hide();
}

void GatewaySearch::onProbing(qint32 baud, int address, int tried)
{
    const QString text = m_finder->finds().isEmpty()
                             ? pick(QStringLiteral("Trying %1, address %2"), QStringLiteral("Zkouším %1, adresa %2")).arg(speedText(baud)).arg(address)
                             : pick(QStringLiteral("Looking for more gateways at %1: address %2"),
                                    QStringLiteral("Hledám další brány na %1: adresa %2"))
                                   .arg(speedText(baud))
                                   .arg(address);
    m_dialog->setProgress(text, tried, tried + 1 + m_finder->toTry());
}

void GatewaySearch::onFound(const GatewayFinder::Find &find)
{
    const QString what = find.isGateway()
                             ? pick(QStringLiteral("gateway, FW %1"), QStringLiteral("brána, FW %1")).arg(ChannelText::FormatVersion(find.version()))
                             : pick(QStringLiteral("some other device (it refused the read)"), QStringLiteral("jiné zarízení (odmítlo ctení)"));
    const QString line = pick(QStringLiteral("Address %1 at %2: %3"), QStringLiteral("Adresa %1 na %2: %3")).arg(find.address).arg(speedText(find.baud), what);
    if (find.isGateway())
        m_dialog->addFound(line);
}

void GatewaySearch::onFinished()
{
    if (!m_finder || m_finder->running())
        return;
    const GatewayFinder::Outcome outcome = m_finder->outcome();
    QList<GatewayFinder::Find> gateways;
    for (const GatewayFinder::Find &find : m_finder->finds())
        if (find.isGateway())
            gateways.append(find);
    const int tried = m_finder->tried();
    const std::optional<ComPortError> portError = m_finder->portError();
    m_parts.port->close();
    m_dialog->hide();

    switch (outcome) {
    case GatewayFinder::Outcome::PortFailed:
        if (portError)
            ErrorGuard::report(portError->text());
        return;
    case GatewayFinder::Outcome::PortLost:
        Prompts::current().error(pick(QStringLiteral("The port %1 went away during the search. Plug it in again, then Find gateway again."),
                                      QStringLiteral("Port %1 behem hledání zmizel. Pripojte ho znovu a pak znovu Vyhledat bránu."))
                                     .arg(portShown()));
        return;
    case GatewayFinder::Outcome::Cancelled:
        if (!m_useFound) {
            restore();
            return;
        }
        break;
    case GatewayFinder::Outcome::Completed:
    case GatewayFinder::Outcome::Running:
        break;
    }

    if (gateways.isEmpty()) {
        Prompts::current().information(
            pick(QStringLiteral("No gateway answered on %1 (%2 speed and address pairs tried, with the parity and stop bits set in the "
                                "panel). Check the cable and the adapter, that the gateway has power, and the parity and stop bits."),
                 QStringLiteral("Na %1 neodpovedela žádná brána (vyzkoušeno %2 dvojic rychlosti a adresy, s paritou a stop bity z panelu). "
                                "Zkontrolujte kabel a prevodník, napájení brány, paritu a stop bity."))
                .arg(portShown())
                .arg(tried));
        restore();
        return;
    }
    int chosen = 0;
    if (gateways.size() > 1) {
        QStringList items;
        for (const GatewayFinder::Find &g : std::as_const(gateways))
            items.append(pick(QStringLiteral("Address %1 at %2, FW %3"), QStringLiteral("Adresa %1 na %2, FW %3"))
                             .arg(g.address)
                             .arg(speedText(g.baud), ChannelText::FormatVersion(g.version())));
        const std::optional<int> picked = Prompts::current().choose(
            pick(QStringLiteral("Find gateway"), QStringLiteral("Vyhledat bránu")),
            pick(QStringLiteral("%1 gateways answered on %2. Connect to:"), QStringLiteral("Na %2 odpovedelo více bran (%1). Pripojit k:"))
                .arg(gateways.size())
                .arg(portShown()),
            items);
        if (!picked) {
            restore();
            return;
        }
        chosen = *picked;
    }
    use(gateways.value(chosen));
}

void GatewaySearch::use(const GatewayFinder::Find &find)
{
    TFrame_Komunikace *panel = m_parts.panel;
    const int baudIndex = TTarvikKomunikator::BaudIndexOf(find.baud / 100);
    panel->selectSilently(baudIndex, find.address - 1, panel->Cb_Parity->currentIndex(), panel->Cb_Stopbit->currentIndex());
    // The USB box follows the lists, as it does when the user picks from them.
    panel->ComboBox_BaudRateChange();
    panel->setConnected(true);
}

void GatewaySearch::restore()
{
    if (m_wasConnected)
        m_parts.panel->setConnected(true);
    m_wasConnected = false;
}
