#include "gt/svc/ServiceDispatcher.h"

#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "gt/core/io/Thread.h"
#include "gt/svc/ServiceRegistry.h"

namespace gt {
namespace svc {

using core::String;
using detail::report;
using detail::ServiceRegistry;
using detail::StateRecord;

namespace {

// Written by the signal handler, read by the dispatcher loop.
std::atomic<int> s_stopRequests{0};
std::atomic<bool> s_dispatching{false};
std::atomic<int> s_lastError{0};

// The service the dispatcher runs, from the manager's environment and the table.
struct Current {
    String folder;
    String key;
    String token;
    String name;       // from the manager
    String entryName;  // from the table
    ServiceDispatcher::ControlHandler handler = nullptr;
    int handle = 0;
    long long startTime = 0;
};

// s_current and s_nextHandle: under s_mutex (the main function registers
// and reports from its own thread).
std::mutex s_mutex;
Current s_current;
int s_nextHandle = 0;

extern "C" void onStopSignal(int) { s_stopRequests.fetch_add(1, std::memory_order_relaxed); }

bool fail(int error) {
    s_lastError.store(error);
    return false;
}

bool sameName(String const& a, String const& b) {
    String const key = ServiceRegistry::keyOf(a);
    return !key.isEmpty() && key == ServiceRegistry::keyOf(b);
}

// Confirms the start to the manager: the state file must carry our token.
// The manager records the process before it lets go of the lock, so the
// token is there at the first look unless the start was not the manager's.
bool connect(Current& current) {
    ServiceRegistry registry(current.folder);
    int timeoutMs = detail::environmentMs("GT_SERVICE_CONNECT_TIMEOUT_MS", 30000);
    long long until = detail::nowMs() + timeoutMs;
    for (;;) {
        if (!registry.lock(timeoutMs)) return false;
        StateRecord state;
        if (registry.readState(current.key, &state) <= 0 || state.token != current.token ||
            state.status.state == SERVICE_STOPPED) {
            report(u"service dispatcher: the service manager did not start this process");
            return false;
        }
        if (state.status.processId > 0) {
            // A wrapper between the manager and us (a script that forks)
            // hands the service over to this process.
            state.status.processId = static_cast<int>(::getpid());
            state.startTime = ServiceRegistry::processStartTime(state.status.processId);
            state.status.state = SERVICE_START_PENDING;
            state.connected = true;
            if (!registry.writeState(current.key, state)) return false;
            current.startTime = state.startTime;
            return true;
        }
        registry.unlock();
        if (detail::nowMs() >= until) return false;
        core::Thread::sleep(5);
    }
}

}  // namespace

bool ServiceDispatcher::run(std::vector<Entry> const& table) {
    if (s_dispatching.exchange(true)) return fail(SERVICE_ERROR_ALREADY_RUNNING);
    struct Release {
        ~Release() { s_dispatching.store(false); }
    } release;

    char const* name = ::getenv("GT_SERVICE_NAME");
    char const* token = ::getenv("GT_SERVICE_TOKEN");
    char const* folder = ::getenv("GT_SERVICE_REGISTRY");
    if (!name || !*name || !token || !*token || !folder || !*folder) {
        report(u"service dispatcher: not started by the service manager");
        return fail(SERVICE_ERROR_CONTROLLER_CONNECT);
    }
    Current current;
    current.folder = String::fromUtf8(folder);
    current.token = String::fromUtf8(token);
    current.name = String::fromUtf8(name);
    current.key = ServiceRegistry::keyOf(current.name);
    Entry const* entry = nullptr;
    for (auto const& e : table) {
        if (e.main && sameName(e.name, current.name)) entry = &e;
    }
    if (!entry && table.size() == 1 && table[0].main) entry = &table[0];
    if (!entry || current.key.isEmpty()) {
        report(u"service dispatcher: no service " + current.name + u" in this program");
        return fail(SERVICE_ERROR_DOES_NOT_EXIST);
    }
    current.entryName = entry->name;
    if (!connect(current)) return fail(SERVICE_ERROR_CONTROLLER_CONNECT);

    struct sigaction action, previous;
    ::memset(&action, 0, sizeof(action));
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    s_stopRequests.store(0);
    ::sigaction(SIGTERM, &action, &previous);
    {
        std::lock_guard<std::mutex> guard(s_mutex);
        s_current = current;
    }

    std::atomic<bool> done{false};
    MainFunction main = entry->main;
    std::thread worker([main, &done] {
        main();
        done.store(true);
    });
    // Controls are handed to the service on this thread, as they arrive.
    while (!done.load()) {
        if (s_stopRequests.exchange(0) > 0) {
            ControlHandler handler;
            {
                std::lock_guard<std::mutex> guard(s_mutex);
                handler = s_current.handler;
            }
            if (handler) handler(CONTROL_STOP);
        }
        core::Thread::sleep(10);
    }
    worker.join();

    ::sigaction(SIGTERM, &previous, nullptr);
    {
        std::lock_guard<std::mutex> guard(s_mutex);
        s_current = Current();
    }
    return true;
}

ServiceDispatcher::StatusHandle ServiceDispatcher::registerControlHandler(String const& name,
                                                                          ControlHandler handler) {
    std::lock_guard<std::mutex> guard(s_mutex);
    if (s_current.key.isEmpty()) {
        s_lastError.store(SERVICE_ERROR_CONTROLLER_CONNECT);
        return 0;
    }
    if (!sameName(name, s_current.name) && !sameName(name, s_current.entryName)) {
        s_lastError.store(SERVICE_ERROR_DOES_NOT_EXIST);
        return 0;
    }
    s_current.handler = handler;
    if (++s_nextHandle <= 0) s_nextHandle = 1;
    s_current.handle = s_nextHandle;
    return s_current.handle;
}

bool ServiceDispatcher::setStatus(StatusHandle handle, ServiceStatus const& status) {
    Current current;
    {
        std::lock_guard<std::mutex> guard(s_mutex);
        if (handle == 0 || handle != s_current.handle) return fail(SERVICE_ERROR_INVALID_HANDLE);
        current = s_current;
    }
    if (status.state < SERVICE_STOPPED || status.state > SERVICE_RUNNING) {
        return fail(SERVICE_ERROR_INVALID_PARAMETER);
    }
    ServiceRegistry registry(current.folder);
    if (!registry.lock()) return fail(SERVICE_ERROR_IO);
    ServiceConfig config;
    int r = registry.readRecord(current.key, &config);
    if (r < 0) return fail(SERVICE_ERROR_IO);
    if (r == 0) return fail(SERVICE_ERROR_DOES_NOT_EXIST);
    StateRecord state;
    state.status = status;
    state.token = current.token;
    if (status.state == SERVICE_STOPPED) {
        state.status.processId = 0;
        if (config.markedForDelete) {
            registry.removeService(current.key);
            return true;
        }
    } else {
        state.status.processId = static_cast<int>(::getpid());
        state.startTime = current.startTime;
        state.connected = true;
    }
    return registry.writeState(current.key, state) ? true : fail(SERVICE_ERROR_IO);
}

int ServiceDispatcher::lastError() { return s_lastError.load(); }

}  // namespace svc
}  // namespace gt
