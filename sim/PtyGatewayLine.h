#pragma once

#include "GatewayLine.h"
#include "PtyLink.h"

#include <QSocketNotifier>
#include <memory>

// The gateway's end of a pseudo-terminal.
class PtyGatewayLine final : public GatewayLine
{
    Q_OBJECT
public:
    explicit PtyGatewayLine(QObject *parent = nullptr);

    PtyLink &link() { return m_link; }
    QByteArray readAll() override;
    void write(const QByteArray &bytes) override;
    // Unread bytes wait in the terminal, where the kernel queues them for the tool; the
    // notifier would otherwise fire again and again for them.
    void holdReading(bool hold) override { m_notifier->setEnabled(!hold); }
    LineSettings toolSettings(bool *parityKnown) const override;
    QString toolPortName() const override { return m_link.slavePath(); }

private:
    PtyLink m_link;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
