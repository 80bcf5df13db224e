#include "svr/util/ConsoleClosingDetector.h"

#include <signal.h>

#include <atomic>
#include <mutex>

#include "gt/core/lang/Fatal.h"

namespace gt {
namespace core {

namespace {

std::atomic<int> s_closing{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

int const SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
int const SIGNAL_COUNT = sizeof(SIGNALS) / sizeof(SIGNALS[0]);

std::mutex s_countLock;
int s_count = 0;
struct sigaction s_previous[SIGNAL_COUNT];

bool installHandlers() {
    struct sigaction action = {};
    action.sa_handler = &ConsoleClosingDetector::ctrlHandler;
    sigemptyset(&action.sa_mask);
    // Interrupted sleeps and waits resume; the loop reads the flag between cycles.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < SIGNAL_COUNT; ++i)
        if (::sigaction(SIGNALS[i], &action, &s_previous[i]) != 0) return false;
    return true;
}

bool removeHandlers() {
    bool ok = true;
    for (int i = 0; i < SIGNAL_COUNT; ++i)
        if (::sigaction(SIGNALS[i], &s_previous[i], nullptr) != 0) ok = false;
    return ok;
}

}  // namespace

ConsoleClosingDetector::ConsoleClosingDetector() {
    std::lock_guard<std::mutex> guard(s_countLock);
    if (++s_count == 1) GT_ASSERT(installHandlers());
}

ConsoleClosingDetector::~ConsoleClosingDetector() {
    std::lock_guard<std::mutex> guard(s_countLock);
    if (s_count-- <= 1) {
        s_count = 0;
        GT_ASSERT(removeHandlers());
    }
}

bool ConsoleClosingDetector::isClosing() { return s_closing.load() != 0; }

void ConsoleClosingDetector::ctrlHandler(int signo) {
    switch (signo) {
        case SIGINT:
        case SIGTERM:
        case SIGHUP:
        case SIGQUIT:
            s_closing.store(1);
            break;
        default:
            break;
    }
}

}  // namespace core
}  // namespace gt
