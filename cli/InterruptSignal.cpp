#include "InterruptSignal.h"

#include <QSocketNotifier>
#include <atomic>
#include <csignal>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

std::atomic<bool> g_raised{false};
#ifdef Q_OS_UNIX
int g_pipe[2] = {-1, -1};
#endif

extern "C" void onSignal(int signal)
{
    g_raised = true;
    // The next one is not caught: a second Ctrl+C ends the program.
    std::signal(signal, SIG_DFL);
#ifdef Q_OS_UNIX
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_pipe[1], &byte, 1);
#endif
}

} // namespace

InterruptSignal::InterruptSignal()
{
#ifdef Q_OS_UNIX
    if (::pipe(g_pipe) == 0) {
        m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
            char byte;
            [[maybe_unused]] const auto n = ::read(g_pipe[0], &byte, 1);
            onRaised();
        });
    }
#else
    m_poll.setInterval(100);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        if (g_raised)
            onRaised();
    });
    m_poll.start();
#endif
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

InterruptSignal::~InterruptSignal()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    m_notifier.reset();
#ifdef Q_OS_UNIX
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
#endif
}

void InterruptSignal::onRaised()
{
    if (m_raised)
        return;
    m_raised = true;
    emit interrupted();
}
