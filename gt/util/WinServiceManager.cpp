#include "gt/util/WinServiceManager.h"

#include <atomic>

#include "gt/core/io/Thread.h"
#include "gt/svc/ServiceManager.h"

namespace gt {
namespace util {

using namespace gt::svc;

namespace {

// The waits of start and stop (setWait); atomics, since a test shortens them
// from another thread while a wait runs.
std::atomic<int> s_polls{300};
std::atomic<int> s_intervalMs{100};

// Our start types to the manager's.
int managerStartType(int startType) {
    switch (startType) {
        case WinServiceManager::START_DISABLED:
            return gt::svc::START_DISABLED;
        case WinServiceManager::START_BOOT:
            return gt::svc::START_BOOT;
        case WinServiceManager::START_SYSTEM:
            return gt::svc::START_SYSTEM;
        case WinServiceManager::START_AUTO:
            return gt::svc::START_AUTO;
        case WinServiceManager::START_DEMAND:
            return gt::svc::START_DEMAND;
        default:
            return -1;
    }
}

bool isBlank(core::Char c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace

WinServiceManager::WinServiceManager(core::String const& name) : m_name(name) {}

WinServiceManager::~WinServiceManager() = default;

bool WinServiceManager::isAdmin() { return ServiceManager().isAdmin(); }

bool WinServiceManager::create(core::String const& displayName, core::String const& commandLine,
                               int startType) {
    int type = managerStartType(startType);
    if (type < 0) return false;
    ServiceConfig config;
    config.name = m_name;
    config.displayName = displayName;
    config.commandLine = commandLine;
    config.startType = type;
    return ServiceManager().create(config) == SERVICE_OK;
}

bool WinServiceManager::start() {
    int r = ServiceManager().start(m_name);
    // A start that failed outright is not waited for.
    if (r != SERVICE_OK && r != SERVICE_ERROR_ALREADY_RUNNING) return false;
    return _waitFor(SERVICE_RUNNING);
}

bool WinServiceManager::stop() {
    ServiceStatus status;
    int r = ServiceManager().control(m_name, CONTROL_STOP, &status);
    if (r == SERVICE_ERROR_CANNOT_ACCEPT_CTRL && status.state == SERVICE_STOP_PENDING) r = SERVICE_OK;
    // Not running: the wait below sees it stopped at its first look.
    if (r != SERVICE_OK && r != SERVICE_ERROR_NOT_ACTIVE) return false;
    return _waitFor(SERVICE_STOPPED);
}

bool WinServiceManager::remove() { return ServiceManager().remove(m_name) == SERVICE_OK; }

bool WinServiceManager::isInstalled() const {
    return ServiceManager().queryStatus(m_name, nullptr) == SERVICE_OK;
}

bool WinServiceManager::isRunning() const {
    ServiceStatus status;
    return ServiceManager().queryStatus(m_name, &status) == SERVICE_OK && status.state == SERVICE_RUNNING;
}

bool WinServiceManager::isStopping() const {
    ServiceStatus status;
    return ServiceManager().queryStatus(m_name, &status) == SERVICE_OK &&
           status.state == SERVICE_STOP_PENDING;
}

core::String WinServiceManager::binaryPath() const {
    ServiceConfig config;
    if (ServiceManager().queryConfig(m_name, &config) != SERVICE_OK) return core::String();
    return config.commandLine;
}

void WinServiceManager::setWait(int polls, int intervalMs) {
    s_polls.store(polls > 0 ? polls : 1);
    s_intervalMs.store(intervalMs >= 0 ? intervalMs : 0);
}

bool WinServiceManager::_waitFor(int wanted) const {
    ServiceManager manager;
    ServiceStatus status;
    // The limits are read on each round so that a shortened wait also ends
    // one that is under way.
    for (int i = 0; i < s_polls.load(); ++i) {
        int r = manager.queryStatus(m_name, &status);
        // A service deleted while it ran goes together with its process.
        if (r == SERVICE_ERROR_DOES_NOT_EXIST && wanted == SERVICE_STOPPED) return true;
        if (r != SERVICE_OK) return false;
        if (status.state == wanted) return true;
        // A service that fell back to stopped will not start by waiting.
        if (wanted == SERVICE_RUNNING && status.state == SERVICE_STOPPED) return false;
        if (i + 1 < s_polls.load()) core::Thread::sleep(s_intervalMs.load());
    }
    return false;
}

core::String WinServiceManager::quotedCommandLine(core::String const& program,
                                                  core::String const& arguments) {
    core::String out = u"\"" + program + u"\"";
    if (!arguments.isEmpty()) out += u" " + arguments;
    return out;
}

core::String WinServiceManager::programPath(core::String const& commandLine) {
    core::String text = commandLine;
    text.trim();
    // Blanks may stand before the first quote as well.
    int first = 0;
    while (first < text.length() && isBlank(text[first]))
        ++first;
    if (first < text.length() && text[first] == u'"') {
        int close = text.indexOf(u'"', first + 1);
        if (close < 0) close = text.length();
        return text.mid(first + 1, close - first - 1);
    }
    int cut = text.indexOf(core::String(u" --"));
    if (cut >= 0) text = text.left(cut);
    text.trim();
    text.trim(u'"');
    return text;
}

}  // namespace util
}  // namespace gt
