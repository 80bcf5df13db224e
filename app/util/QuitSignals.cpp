#include "app/util/QuitSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

namespace tunnel {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

int s_pipe[2] = {-1, -1};

void onQuitSignal(int) {
    int const saved = errno;
    char const byte = 1;
    // A full pipe already holds a request.
    ssize_t const ignored = ::write(s_pipe[1], &byte, 1);
    (void)ignored;
    errno = saved;
}

void setAction(void (*handler)(int)) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

}  // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent), m_notifier(nullptr) {
    if (s_pipe[0] >= 0 || ::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::_onSignal);
    setAction(onQuitSignal);
}

QuitSignals::~QuitSignals() {
    if (!m_notifier) return;
    setAction(SIG_DFL);
    delete m_notifier;
    ::close(s_pipe[0]);
    ::close(s_pipe[1]);
    s_pipe[0] = s_pipe[1] = -1;
}

void QuitSignals::_onSignal() {
    char bytes[16];
    while (::read(s_pipe[0], bytes, sizeof bytes) > 0) {
    }
    QCoreApplication::quit();
}

}  // namespace tunnel
