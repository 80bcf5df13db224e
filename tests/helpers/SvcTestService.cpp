// A service program for the service manager tests. The first argument picks
// how it behaves:
//   normal         reports start pending and running, stops on STOP;
//   ignore-stop    runs, but its control handler ignores STOP;
//   exit-at-once   ends with exit code 3 before reaching the dispatcher;
//   never-running  reaches the dispatcher and stays start pending;
//   crash          runs, and dies without reporting when asked to stop;
//   slow-stop      as normal, but stays stop pending for 2 s.
// Every mode ends by itself after a minute, so a failed test leaves nothing
// running for long. Started by hand (not by the manager) it exits with 9.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "gt/svc/ServiceDispatcher.h"

using namespace gt::svc;

namespace {

std::string s_mode;
std::atomic<bool> s_stop{false};
std::atomic<int> s_state{SERVICE_STOPPED};
ServiceDispatcher::StatusHandle s_handle = 0;

void report(int state, int accepted, int checkPoint) {
    ServiceStatus status;
    status.state = state;
    status.controlsAccepted = accepted;
    status.checkPoint = checkPoint;
    if (!ServiceDispatcher::setStatus(s_handle, status)) {
        ::fprintf(stderr, "setStatus(%d) failed: %d\n", state, ServiceDispatcher::lastError());
    }
    s_state.store(state);
}

void onControl(int control) {
    if (control != CONTROL_STOP || s_state.load() != SERVICE_RUNNING) return;
    if (s_mode == "ignore-stop") return;
    if (s_mode == "crash") ::abort();
    report(SERVICE_STOP_PENDING, 0, 4);
    s_stop.store(true);
}

void serviceMain() {
    s_handle = ServiceDispatcher::registerControlHandler(u"SvcTest", onControl);
    if (!s_handle) {
        ::fprintf(stderr, "registerControlHandler failed: %d\n", ServiceDispatcher::lastError());
        return;
    }
    report(SERVICE_START_PENDING, 0, 0);
    if (s_mode != "never-running") report(SERVICE_RUNNING, ACCEPT_STOP, 0);
    for (int i = 0; i < 6000 && !s_stop.load(); ++i) {
        struct timespec ts = {0, 10 * 1000000L};
        ::nanosleep(&ts, nullptr);
    }
    if (s_mode == "slow-stop" && s_stop.load()) {
        struct timespec ts = {2, 0};
        ::nanosleep(&ts, nullptr);
    }
    report(SERVICE_STOPPED, 0, 3);
}

}  // namespace

int main(int argc, char** argv) {
    s_mode = argc > 1 ? argv[1] : "normal";
    ::printf("svc_test_service %s started, %d arguments\n", s_mode.c_str(), argc);
    ::fflush(stdout);
    if (s_mode == "exit-at-once") return 3;
    if (!ServiceDispatcher::run({{u"SvcTest", serviceMain}})) {
        ::fprintf(stderr, "not started as a service: %d\n", ServiceDispatcher::lastError());
        return 9;
    }
    return 0;
}
