#include "svr/service/ServiceRunner.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

#include "gt/core/io/Path.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/core/lang/CriticalSection.h"
#include "gt/core/lang/LockGuard.h"
#include "gt/core/lang/String.h"
#include "gt/svc/ServiceDispatcher.h"
#include "gt/svc/ServiceTypes.h"

using gt::core::String;
using gt::svc::ServiceDispatcher;
using gt::svc::ServiceStatus;

namespace tunnel {

namespace {

gt::core::CriticalSection s_lock;
std::atomic<int> s_state{SERVICE_IDLE};
std::function<void()> s_body;
String s_name;
// Written by the service main, read by the control handler (other thread).
std::atomic<int> s_handle{0};
std::atomic<int> s_reported{gt::svc::SERVICE_STOPPED};
// One status report at a time: the handler and the main thread both report.
std::mutex s_reportLock;

void debugOutput(char const* text) { std::fprintf(stderr, "%s\n", text); }

bool report(int state, int controls, int checkPoint) {
    std::lock_guard<std::mutex> guard(s_reportLock);
    ServiceStatus status;
    status.state = state;
    status.controlsAccepted = controls;
    status.exitCode = 0;
    status.checkPoint = checkPoint;
    if (!ServiceDispatcher::setStatus(s_handle.load(), status)) return false;
    s_reported = state;
    return true;
}

void serviceCtrlHandler(int control) {
    if (control != gt::svc::CONTROL_STOP || s_reported.load() != gt::svc::SERVICE_RUNNING) return;
    if (!report(gt::svc::SERVICE_STOP_PENDING, 0, 4))
        debugOutput("ServiceCtrlHandler: SetServiceStatus returned error");
    s_state = SERVICE_STOP_REQUESTED;
}

void serviceMain() {
    int const handle = ServiceDispatcher::registerControlHandler(s_name, &serviceCtrlHandler);
    if (handle == 0) return;
    s_handle = handle;
    if (!report(gt::svc::SERVICE_START_PENDING, 0, 0))
        debugOutput("ServiceMain: SetServiceStatus returned error");
    if (s_body) s_body();
    if (!report(gt::svc::SERVICE_STOPPED, 0, 3)) debugOutput("SetServiceStatus returned error");
    s_handle = 0;
}

}  // namespace

bool runAsService(std::function<void()> body) {
    if (!body) return false;
    gt::core::LockGuard guard(&s_lock);
    if (s_state.load() != SERVICE_IDLE) return false;
    s_state = SERVICE_ACTIVE;
    s_body = std::move(body);
    s_name = gt::core::baseName(gt::core::getProgramFile()).left(259);
    std::vector<ServiceDispatcher::Entry> table(1);
    table[0].name = s_name;
    table[0].main = &serviceMain;
    bool const ok = ServiceDispatcher::run(table);
    s_body = nullptr;
    s_state = SERVICE_IDLE;
    s_reported = gt::svc::SERVICE_STOPPED;
    return ok;
}

int getServiceState() { return s_state.load(); }

void reportServiceRunning() {
    if (s_handle.load() == 0 || s_state.load() != SERVICE_ACTIVE) return;
    if (s_reported.load() == gt::svc::SERVICE_RUNNING) return;
    if (!report(gt::svc::SERVICE_RUNNING, gt::svc::ACCEPT_STOP, 0))
        debugOutput("SetServiceStatus returned error");
}

}  // namespace tunnel
