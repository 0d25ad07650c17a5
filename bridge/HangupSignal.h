#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

// SIGHUP as a Qt signal on the main thread: a service manager's "reload". Unix only; elsewhere
// it never fires.
class HangupSignal : public QObject
{
    Q_OBJECT
public:
    HangupSignal();
    ~HangupSignal() override;

signals:
    void raised();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
