#include "gt/svc/ServiceDispatcher.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "gt/core/lang/Thread.h"
#include "gt/svc/ServiceRegistry.h"

namespace gt {
namespace svc {

using detail::ServiceRegistry;
using detail::StateRecord;

namespace {

// Written by the signal handler, read by the dispatcher loop.
std::atomic<int> g_stopRequests{0};
std::atomic<bool> g_dispatching{false};
std::atomic<int> g_lastError{0};

struct Current {
    std::string folder;
    std::string key;
    std::string token;
    core::String name;       // from the manager
    core::String entryName;  // from the table
    ServiceDispatcher::ControlHandler handler = nullptr;
    int handle = 0;
    long long startTime = 0;
};

std::mutex g_mutex;
Current g_current;
int g_nextHandle = 0;

extern "C" void onStopSignal(int) { g_stopRequests.fetch_add(1, std::memory_order_relaxed); }

bool fail(int error) {
    g_lastError.store(error);
    return false;
}

bool sameName(core::String const& a, core::String const& b) {
    return ServiceRegistry::keyOf(a) == ServiceRegistry::keyOf(b) && !ServiceRegistry::keyOf(a).empty();
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
            ::fprintf(stderr, "service dispatcher: the service manager did not start this process\n");
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
    if (g_dispatching.exchange(true)) return fail(SERVICE_ERROR_ALREADY_RUNNING);
    struct Release {
        ~Release() { g_dispatching.store(false); }
    } release;

    char const* name = ::getenv("GT_SERVICE_NAME");
    char const* token = ::getenv("GT_SERVICE_TOKEN");
    char const* folder = ::getenv("GT_SERVICE_REGISTRY");
    if (!name || !*name || !token || !*token || !folder || !*folder) {
        ::fprintf(stderr, "service dispatcher: not started by the service manager\n");
        return fail(SERVICE_ERROR_CONTROLLER_CONNECT);
    }
    Current current;
    current.folder = folder;
    current.token = token;
    current.name = core::String::fromUtf8(name);
    current.key = ServiceRegistry::keyOf(current.name);
    Entry const* entry = nullptr;
    for (auto const& e : table) {
        if (e.main && sameName(e.name, current.name)) entry = &e;
    }
    if (!entry && table.size() == 1 && table[0].main) entry = &table[0];
    if (!entry || current.key.empty()) {
        ::fprintf(stderr, "service dispatcher: no service %s in this program\n", name);
        return fail(SERVICE_ERROR_DOES_NOT_EXIST);
    }
    current.entryName = entry->name;
    if (!connect(current)) return fail(SERVICE_ERROR_CONTROLLER_CONNECT);

    struct sigaction action, previous;
    ::memset(&action, 0, sizeof(action));
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    g_stopRequests.store(0);
    ::sigaction(SIGTERM, &action, &previous);
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        g_current = current;
    }

    std::atomic<bool> done{false};
    MainFunction main = entry->main;
    std::thread worker([main, &done] {
        main();
        done.store(true);
    });
    // Controls are handed to the service on this thread, as they arrive.
    while (!done.load()) {
        if (g_stopRequests.exchange(0) > 0) {
            ControlHandler handler;
            {
                std::lock_guard<std::mutex> guard(g_mutex);
                handler = g_current.handler;
            }
            if (handler) handler(CONTROL_STOP);
        }
        core::Thread::sleep(10);
    }
    worker.join();

    ::sigaction(SIGTERM, &previous, nullptr);
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        g_current = Current();
    }
    return true;
}

ServiceDispatcher::StatusHandle ServiceDispatcher::registerControlHandler(core::String const& name,
                                                                          ControlHandler handler) {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (g_current.key.empty()) {
        g_lastError.store(SERVICE_ERROR_CONTROLLER_CONNECT);
        return 0;
    }
    if (!sameName(name, g_current.name) && !sameName(name, g_current.entryName)) {
        g_lastError.store(SERVICE_ERROR_DOES_NOT_EXIST);
        return 0;
    }
    g_current.handler = handler;
    if (++g_nextHandle <= 0) g_nextHandle = 1;
    g_current.handle = g_nextHandle;
    return g_current.handle;
}

bool ServiceDispatcher::setStatus(StatusHandle handle, ServiceStatus const& status) {
    Current current;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        if (handle == 0 || handle != g_current.handle) return fail(SERVICE_ERROR_INVALID_HANDLE);
        current = g_current;
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

int ServiceDispatcher::lastError() { return g_lastError.load(); }

}  // namespace svc
}  // namespace gt
