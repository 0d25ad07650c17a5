#include "LinkControl.h"

#include "ErrorGuard.h"
#include "Language.h"
#include "PortNames.h"
#include "Prompts.h"
#include "TAfComPort.h"
#include "TAfPortComboBox.h"
#include "TFrame_Komunikace.h"
#include "TTarvikKomunikator.h"

#include <QComboBox>
#include <QTime>

namespace {

bool czech()
{
    return Language::current() == Language::Czech;
}

const QString kDcbError = QStringLiteral("Error setting parameters from DCB");
const QString kReadError = QStringLiteral("Read data error - AfComPort1 ");

} // namespace

LinkControl::LinkControl(const Parts &parts, Display display, QObject *parent)
    : QObject(parent), m_parts(parts), m_display(std::move(display))
{
    // The panel's lists, preselected without change events.
    QStringList bauds, addresses, parities, stopBits;
    TTarvikKomunikator::FillBaudRates(bauds, TTarvikKomunikator::pkRS485);
    TTarvikKomunikator::FillAddresses(addresses, TTarvikKomunikator::pkRS485);
    TTarvikKomunikator::FillParities(parities, TTarvikKomunikator::pkRS485);
    TTarvikKomunikator::FillStopBits(stopBits, TTarvikKomunikator::pkRS485);
    m_parts.panel->fillLists(bauds, addresses, parities, stopBits);

    // Each change goes through the error guard: a line setting the port refuses is reported,
    // never thrown into the event loop.
    TTarvikKomunikator *k = m_parts.komunikator;
    TFrame_Komunikace *panel = m_parts.panel;
    connect(panel, &TFrame_Komunikace::connectClicked, this, [this](bool on) { ErrorGuard::run([&] { setConnected(on); }); });
    connect(panel, &TFrame_Komunikace::baudRateChanged, this, [k](int i) { ErrorGuard::run([&] { k->SetBaudIndex(i); }); });
    connect(panel, &TFrame_Komunikace::addressChanged, this, [k](int i) { ErrorGuard::run([&] { k->SetAddressIndex(i); }); });
    connect(panel, &TFrame_Komunikace::parityChanged, this, [k](int i) { ErrorGuard::run([&] { k->SetParity(i); }); });
    connect(panel, &TFrame_Komunikace::stopBitsChanged, this, [k](int i) { ErrorGuard::run([&] { k->SetStopBits(i); }); });
    m_parts.port->OnClosed = [this](TAfComPort *, const QString &) { lost(); };
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] { ErrorGuard::run([this] { retry(); }); });
}

void LinkControl::open()
{
    TTarvikKomunikator *k = m_parts.komunikator;
    TFrame_Komunikace *panel = m_parts.panel;
    // All four line settings shown in the panel are in force from the first request.
    k->SetBaudIndex(panel->ComboBox_BaudRate->currentIndex());
    k->SetAddressIndex(panel->ComboBox_Addr->currentIndex());
    k->SetParity(panel->Cb_Parity->currentIndex());
    k->SetStopBits(panel->Cb_Stopbit->currentIndex());
    TAfPortComboBox *ports = panel->AfPortComboBox1;
    k->Open(ports->portName());
    // The port that opened is the user's choice from now on, even if the list had picked it
    // by itself.
    ports->setPortName(ports->portName());
    m_display.clear();
    setLive(true);
}

void LinkControl::setConnected(bool connected)
{
    TTarvikKomunikator *k = m_parts.komunikator;
    TFrame_Komunikace *panel = m_parts.panel;
    if (connected) {
        m_retry.stop();
        try {
            open();
        } catch (const std::exception &e) {
            panel->setConnected(false);
            ErrorGuard::report(QString::fromUtf8(e.what()));
            return;
        }
    } else {
        k->Close();
        // The last values stay readable, but no longer look live.
        setLive(false);
        if (m_retry.isActive()) {
            m_retry.stop();
            setNotice(lostText());
        }
    }
    m_display.connectionChanged(panel->Connected());
}

bool LinkControl::handleError(const QString &message)
{
    // The port names itself after the message; the known texts are recognised with or without
    // that suffix.
    if (message == kDcbError || message.startsWith(kDcbError + QStringLiteral(" - "))) {
        Prompts::current().error(
            QStringLiteral("Error setting parameters from DCB. %1 probably does not suport the selected baudrate.")
                .arg(PortNames::displayName(m_parts.port->portName())));
        return true;
    }
    if (message == kReadError) {
        lost();
        return true;
    }
    return false;
}

void LinkControl::lost()
{
    const bool wasConnected = m_parts.panel->Connected();
    m_parts.komunikator->Close();
    if (!wasConnected || m_retry.isActive())
        return;
    m_lostPort = PortNames::displayName(m_parts.port->portName());
    m_lostAt = QTime::currentTime().toString(QStringLiteral("h:mm:ss"));
    // Connected stays ticked: the port is tried again until it opens or Connected is cleared.
    // The values stay on screen, dimmed, until the gateway answers again.
    setLive(false);
    m_retry.start();
    setNotice(czech() ? QStringLiteral("Port %1 ztracen v %2: zkouším znovu každé %3 s").arg(m_lostPort, m_lostAt).arg(RetryMs / 1000)
                      : QStringLiteral("Port %1 lost at %2: trying again every %3 s").arg(m_lostPort, m_lostAt).arg(RetryMs / 1000));
}

void LinkControl::retry()
{
    if (!m_retry.isActive())
        return;
    if (!m_parts.panel->Connected()) {
        m_retry.stop();
        return;
    }
    try {
        open();
    } catch (const std::exception &) {
        // Still gone (or not ready yet): the next try comes by itself.
        m_parts.komunikator->Close();
        return;
    }
    m_retry.stop();
    const QString at = QTime::currentTime().toString(QStringLiteral("h:mm:ss"));
    setNotice(czech() ? QStringLiteral("Znovu pripojeno k %1 v %2").arg(m_lostPort, at)
                      : QStringLiteral("Reconnected to %1 at %2").arg(m_lostPort, at));
    m_display.connectionChanged(true);
}

QString LinkControl::lostText() const
{
    return czech() ? QStringLiteral("Spojení na %1 ztraceno v %2. Zobrazené hodnoty jsou poslední prectené.").arg(m_lostPort, m_lostAt)
                   : QStringLiteral("The link on %1 was lost at %2. The values shown are the last ones read.").arg(m_lostPort, m_lostAt);
}

void LinkControl::setNotice(const QString &notice)
{
    m_notice = notice;
    m_display.showNotice(m_notice);
}

void LinkControl::setLive(bool live)
{
    m_display.setLive(live);
    if (live)
        setNotice(QString());
}
