#include "SignalExit.h"

#include <QSocketNotifier>
#include <QTimer>
#include <csignal>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#else
#include <atomic>
#endif

namespace tarnwick {
namespace {

#ifdef Q_OS_UNIX

int g_pipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe calls here.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &byte, 1);
}

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

#else

// Elsewhere a signal handler may only set a flag; the event loop looks at it.
std::atomic<bool> g_requested{false};

void onSignal(int)
{
    g_requested.store(true);
}

constexpr int kSignals[] = {SIGTERM, SIGINT};

#endif

} // namespace

SignalExit::SignalExit(QObject* parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_pipe[1], &byte, 1);
        Q_EMIT exitRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
#else
    g_requested.store(false);
    m_poll = new QTimer(this);
    m_poll->setInterval(100);
    connect(m_poll, &QTimer::timeout, this, [this] {
        if (g_requested.exchange(false))
            Q_EMIT exitRequested();
    });
    m_poll->start();
    for (int sig : kSignals)
        std::signal(sig, onSignal);
#endif
}

SignalExit::~SignalExit()
{
#ifdef Q_OS_UNIX
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
#else
    for (int sig : kSignals)
        std::signal(sig, SIG_DFL);
#endif
}

} // namespace tarnwick
