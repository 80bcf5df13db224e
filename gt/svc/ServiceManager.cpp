#include "gt/svc/ServiceManager.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "gt/core/io/DesktopEntry.h"
#include "gt/core/io/NativePath.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/core/io/Thread.h"
#include "gt/core/lang/CommandLine.h"
#include "gt/core/lang/NumberText.h"
#include "gt/core/lang/SystemError.h"
#include "gt/svc/ServiceRegistry.h"

extern char** environ;

namespace gt {
namespace svc {

using core::String;
using detail::report;
using detail::ServiceRegistry;
using detail::StateRecord;

namespace {

constexpr int kDefaultConnectTimeoutMs = 30000;
// A log that grew past this is moved aside to "<name>.log.1" at the next start.
constexpr off_t kLogRotateBytes = 1 << 20;

bool hasControlCharacter(String const& s) {
    for (int i = 0; i < s.length(); ++i) {
        if (s[i] < 0x20 || s[i] == 0x7F) return true;
    }
    return false;
}

bool adminSwitch() {
    char const* value = ::getenv("GT_SERVICE_ADMIN");
    return !(value && ::strcmp(value, "0") == 0);
}

// Text as the bytes a program gets in its arguments and environment (UTF-8,
// every character kept; a backslash stays one).
std::string bytesOf(String const& s) {
    core::Binary bytes = s.toBinary();
    return std::string(bytes.data(), static_cast<size_t>(bytes.length()));
}

// Writes all of buffer to fd, ignoring interruptions (used between fork and exec).
void writeAll(int fd, void const* buffer, size_t size) {
    char const* p = static_cast<char const*>(buffer);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
}

// Reads exactly size bytes; false at end of stream or on error.
bool readAll(int fd, void* buffer, size_t size) {
    char* p = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Starts argv detached: a grandchild in a session of its own (so it is
// neither our child nor in our process group), stdin from /dev/null, stdout
// and stderr appended to the log. Returns its pid, or 0 with *error set to
// the errno of the failed step (exec included).
int spawnDetached(std::vector<std::string> const& args, std::vector<std::string> const& env, int logFd,
                  int* error) {
    std::vector<char*> argv;
    for (auto const& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto const& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int fds[2];
    if (nullFd < 0 || ::pipe2(fds, O_CLOEXEC) != 0) {
        *error = errno;
        if (nullFd >= 0) ::close(nullFd);
        return 0;
    }
    pid_t child = ::fork();
    if (child < 0) {
        *error = errno;
        ::close(nullFd);
        ::close(fds[0]);
        ::close(fds[1]);
        return 0;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        ::close(fds[0]);
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0) {
            int report[2] = {static_cast<int>(grandchild), grandchild < 0 ? errno : 0};
            writeAll(fds[1], report, sizeof(report));
            ::_exit(0);
        }
        ::dup2(nullFd, 0);
        ::dup2(logFd, 1);
        ::dup2(logFd, 2);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int sig = 1; sig < NSIG; ++sig)
            ::signal(sig, SIG_DFL);
        ::execve(argv[0], argv.data(), envp.data());
        int report[2] = {-1, errno};
        writeAll(fds[1], report, sizeof(report));
        ::_exit(127);
    }
    ::close(nullFd);
    ::close(fds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int report[2] = {0, 0};
    int pid = 0;
    if (!readAll(fds[0], report, sizeof(report)) || report[0] <= 0) {
        *error = report[1] ? report[1] : ECHILD;
    } else {
        pid = report[0];
        // The exec's report follows on the same pipe; its end (no bytes)
        // means the exec succeeded.
        int execReport[2];
        if (readAll(fds[0], execReport, sizeof(execReport))) {
            *error = execReport[1];
            pid = 0;
        }
    }
    ::close(fds[0]);
    return pid;
}

std::vector<std::string> childEnvironment(String const& folder, String const& name, String const& token,
                                          int connectMs) {
    static char const* const ours[] = {
        "GT_SERVICE_REGISTRY=", "GT_SERVICE_NAME=", "GT_SERVICE_TOKEN=", "GT_SERVICE_CONNECT_TIMEOUT_MS="};
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        bool skip = false;
        for (char const* prefix : ours)
            skip = skip || ::strncmp(*e, prefix, ::strlen(prefix)) == 0;
        if (!skip) env.push_back(*e);
    }
    env.push_back(ours[0] + bytesOf(folder));
    env.push_back(ours[1] + bytesOf(name));
    env.push_back(ours[2] + bytesOf(token));
    env.push_back(std::string(ours[3]) + std::to_string(connectMs));
    return env;
}

// Takes the registry's lock and reads the service's record and state:
// SERVICE_OK, SERVICE_ERROR_IO when the registry cannot be locked or read,
// SERVICE_ERROR_DOES_NOT_EXIST when there is no such service.
int lockAndRead(ServiceRegistry& registry, String const& key, ServiceConfig* config, StateRecord* state) {
    if (!registry.lock()) return SERVICE_ERROR_IO;
    bool exists = false;
    if (!registry.refresh(key, config, state, &exists)) return SERVICE_ERROR_IO;
    return exists ? SERVICE_OK : SERVICE_ERROR_DOES_NOT_EXIST;
}

// The record and state of a service as they are now, for the queries.
int readService(String const& folder, String const& name, ServiceConfig* config, StateRecord* state) {
    String const key = ServiceRegistry::keyOf(name);
    if (key.isEmpty()) return SERVICE_ERROR_DOES_NOT_EXIST;
    ServiceRegistry registry(folder);
    return lockAndRead(registry, key, config, state);
}

}  // namespace

String serviceErrorText(int error) {
    switch (error) {
        case SERVICE_OK:
            return u"done";
        case SERVICE_ERROR_FILE_NOT_FOUND:
            return u"the service's program cannot be run";
        case SERVICE_ERROR_ACCESS_DENIED:
            return u"access denied";
        case SERVICE_ERROR_INVALID_PARAMETER:
            return u"invalid parameter";
        case SERVICE_ERROR_IO:
            return u"the service registry cannot be read or written";
        case SERVICE_ERROR_REQUEST_TIMEOUT:
            return u"the service did not respond to the start in time";
        case SERVICE_ERROR_ALREADY_RUNNING:
            return u"the service is already running";
        case SERVICE_ERROR_DISABLED:
            return u"the service is disabled";
        case SERVICE_ERROR_DOES_NOT_EXIST:
            return u"the service does not exist";
        case SERVICE_ERROR_CANNOT_ACCEPT_CTRL:
            return u"the service cannot accept the control now";
        case SERVICE_ERROR_NOT_ACTIVE:
            return u"the service is not running";
        case SERVICE_ERROR_CONTROLLER_CONNECT:
            return u"not started by the service manager";
        case SERVICE_ERROR_PROCESS_ABORTED:
            return u"the service process ended unexpectedly";
        case SERVICE_ERROR_MARKED_FOR_DELETE:
            return u"the service is marked for deletion";
        case SERVICE_ERROR_EXISTS:
            return u"the service already exists";
        default:
            return u"unknown error";
    }
}

ServiceManager::ServiceManager() : m_folder(defaultFolder()) {}

ServiceManager::ServiceManager(String const& folder) : m_folder(folder) {}

ServiceManager::~ServiceManager() = default;

String ServiceManager::defaultFolder() {
    char const* value = ::getenv("GT_SERVICE_REGISTRY");
    if (value && *value) return String::fromUtf8(value);
    String state = core::getStateDirectory();
    return state.isEmpty() ? String() : state + u"/gtsvc";
}

bool ServiceManager::isAdmin() const {
    if (!adminSwitch()) return false;
    ServiceRegistry registry(m_folder);
    return registry.ensureFolder() && ::access(core::detail::nativePath(m_folder).c_str(), W_OK | X_OK) == 0;
}

int ServiceManager::connectTimeoutMs() {
    return detail::environmentMs("GT_SERVICE_CONNECT_TIMEOUT_MS", kDefaultConnectTimeoutMs);
}

int ServiceManager::create(ServiceConfig const& config) {
    if (!adminSwitch()) return SERVICE_ERROR_ACCESS_DENIED;
    String const key = ServiceRegistry::keyOf(config.name);
    if (key.isEmpty() || config.startType < START_BOOT || config.startType > START_DISABLED ||
        config.commandLine.isEmpty() || hasControlCharacter(config.displayName) ||
        hasControlCharacter(config.commandLine)) {
        return SERVICE_ERROR_INVALID_PARAMETER;
    }
    ServiceRegistry registry(m_folder);
    if (!registry.lock()) return SERVICE_ERROR_IO;
    ServiceConfig existing;
    StateRecord state;
    bool exists = false;
    if (!registry.refresh(key, &existing, &state, &exists)) return SERVICE_ERROR_IO;
    if (exists) return existing.markedForDelete ? SERVICE_ERROR_MARKED_FOR_DELETE : SERVICE_ERROR_EXISTS;
    ServiceConfig record = config;
    record.markedForDelete = false;
    if (record.displayName.isEmpty()) record.displayName = record.name;
    ::unlink(core::detail::nativePath(registry.path(key, u".state")).c_str());
    return registry.writeRecord(key, record) ? SERVICE_OK : SERVICE_ERROR_IO;
}

int ServiceManager::remove(String const& name) {
    if (!adminSwitch()) return SERVICE_ERROR_ACCESS_DENIED;
    String const key = ServiceRegistry::keyOf(name);
    if (key.isEmpty()) return SERVICE_ERROR_DOES_NOT_EXIST;
    ServiceRegistry registry(m_folder);
    ServiceConfig config;
    StateRecord state;
    if (int error = lockAndRead(registry, key, &config, &state)) return error;
    if (config.markedForDelete) return SERVICE_ERROR_MARKED_FOR_DELETE;
    if (state.status.state != SERVICE_STOPPED) {
        config.markedForDelete = true;
        return registry.writeRecord(key, config) ? SERVICE_OK : SERVICE_ERROR_IO;
    }
    registry.removeService(key);
    return SERVICE_OK;
}

int ServiceManager::start(String const& name) {
    if (!adminSwitch()) return SERVICE_ERROR_ACCESS_DENIED;
    String const key = ServiceRegistry::keyOf(name);
    if (key.isEmpty()) return SERVICE_ERROR_DOES_NOT_EXIST;
    return _start(key);
}

int ServiceManager::_start(String const& key) {
    ServiceRegistry registry(m_folder);
    ServiceConfig config;
    StateRecord state;
    if (int error = lockAndRead(registry, key, &config, &state)) return error;
    if (config.markedForDelete) return SERVICE_ERROR_MARKED_FOR_DELETE;
    if (config.startType == START_DISABLED) return SERVICE_ERROR_DISABLED;
    if (state.status.state != SERVICE_STOPPED) return SERVICE_ERROR_ALREADY_RUNNING;

    std::vector<String> words;
    core::detail::splitArguments(config.commandLine, words);
    if (words.empty()) return SERVICE_ERROR_FILE_NOT_FOUND;
    std::vector<std::string> args;
    for (auto const& w : words)
        args.push_back(bytesOf(w));

    String const logPath = registry.path(key, u".log");
    std::string const nativeLog = core::detail::nativePath(logPath);
    struct stat st;
    if (::lstat(nativeLog.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > kLogRotateBytes) {
        ::rename(nativeLog.c_str(), (nativeLog + ".1").c_str());
    }
    int logFd = detail::openRegularFile(logPath, O_WRONLY | O_CREAT | O_APPEND, false);
    if (logFd < 0) return SERVICE_ERROR_IO;
    int connectMs = connectTimeoutMs();
    StateRecord launching;
    launching.token = ServiceRegistry::newToken();
    launching.status.state = SERVICE_START_PENDING;
    int error = 0;
    int pid = spawnDetached(args, childEnvironment(m_folder, config.name, launching.token, connectMs), logFd,
                            &error);
    ::close(logFd);
    if (pid == 0) {
        report(u"service manager: cannot start " + config.name + u" (" + words[0] + u"): " +
               core::systemErrorText(error));
        return SERVICE_ERROR_FILE_NOT_FOUND;
    }
    launching.status.processId = pid;
    launching.startTime = ServiceRegistry::processStartTime(pid);
    if (!registry.writeState(key, launching)) {
        ServiceRegistry::signalProcess(pid, launching.startTime, SIGKILL);
        return SERVICE_ERROR_IO;
    }
    registry.unlock();

    // The process confirms the start from its dispatcher (under the same
    // lock); until then it counts as start pending.
    long long until = detail::nowMs() + connectMs;
    for (;;) {
        core::Thread::sleep(5);
        if (!registry.lock()) return SERVICE_ERROR_IO;
        if (registry.readState(key, &state) <= 0 || state.token != launching.token) {
            // Deleted, or replaced by someone else's start: not ours to judge.
            return SERVICE_OK;
        }
        if (state.connected) return SERVICE_OK;
        bool alive = ServiceRegistry::isAlive(pid, launching.startTime);
        bool late = detail::nowMs() >= until;
        if (!alive || late) {
            if (alive) ServiceRegistry::signalProcess(pid, launching.startTime, SIGKILL);
            StateRecord stopped;
            stopped.status.exitCode = alive ? SERVICE_ERROR_REQUEST_TIMEOUT : SERVICE_ERROR_PROCESS_ABORTED;
            registry.writeState(key, stopped);
            report(u"service manager: " + config.name +
                   (alive ? u" did not reach its dispatcher in time"
                          : u" ended before reaching its dispatcher"));
            return alive ? SERVICE_ERROR_REQUEST_TIMEOUT : SERVICE_ERROR_PROCESS_ABORTED;
        }
        registry.unlock();
    }
}

int ServiceManager::control(String const& name, int control, ServiceStatus* status) {
    if (!adminSwitch()) return SERVICE_ERROR_ACCESS_DENIED;
    if (control != CONTROL_STOP) return SERVICE_ERROR_INVALID_PARAMETER;
    String const key = ServiceRegistry::keyOf(name);
    if (key.isEmpty()) return SERVICE_ERROR_DOES_NOT_EXIST;
    ServiceRegistry registry(m_folder);
    ServiceConfig config;
    StateRecord state;
    if (int error = lockAndRead(registry, key, &config, &state)) return error;
    if (status) *status = state.status;
    if (state.status.state == SERVICE_STOPPED) return SERVICE_ERROR_NOT_ACTIVE;
    if (!state.connected || state.status.state != SERVICE_RUNNING ||
        !(state.status.controlsAccepted & ACCEPT_STOP)) {
        return SERVICE_ERROR_CANNOT_ACCEPT_CTRL;
    }
    if (int const error = ServiceRegistry::signalProcess(state.status.processId, state.startTime, SIGTERM)) {
        report(u"service manager: cannot signal " + config.name + u": " + core::systemErrorText(error));
        return error == ESRCH ? SERVICE_ERROR_NOT_ACTIVE : SERVICE_ERROR_ACCESS_DENIED;
    }
    return SERVICE_OK;
}

int ServiceManager::queryStatus(String const& name, ServiceStatus* status) {
    ServiceConfig config;
    StateRecord state;
    if (int error = readService(m_folder, name, &config, &state)) return error;
    if (status) *status = state.status;
    return SERVICE_OK;
}

int ServiceManager::queryConfig(String const& name, ServiceConfig* config) {
    ServiceConfig found;
    StateRecord state;
    if (int error = readService(m_folder, name, &found, &state)) return error;
    if (config) *config = found;
    return SERVICE_OK;
}

int ServiceManager::list(std::vector<ServiceConfig>* configs) {
    configs->clear();
    ServiceRegistry registry(m_folder);
    if (!registry.lock()) return SERVICE_ERROR_IO;
    std::vector<String> keys;
    if (!registry.keys(&keys)) return SERVICE_ERROR_IO;
    for (auto const& key : keys) {
        ServiceConfig config;
        StateRecord state;
        bool exists = false;
        // A malformed record is skipped (and logged), not fatal for the rest.
        if (registry.refresh(key, &config, &state, &exists) && exists) configs->push_back(config);
    }
    return SERVICE_OK;
}

int ServiceManager::boot() {
    if (!adminSwitch()) return -1;
    std::vector<ServiceConfig> configs;
    if (list(&configs) != SERVICE_OK) return -1;
    int failed = 0;
    for (auto const& config : configs) {
        if (config.startType > START_AUTO || config.markedForDelete) continue;
        int r = _start(ServiceRegistry::keyOf(config.name));
        if (r != SERVICE_OK && r != SERVICE_ERROR_ALREADY_RUNNING) {
            report(u"service manager: " + config.name + u": " + serviceErrorText(r));
            ++failed;
        }
    }
    return failed;
}

String ServiceManager::autostartFolder() {
    String const config = core::getAppDataDirectory();
    return config.isEmpty() ? String() : config + u"/autostart";
}

bool ServiceManager::writeAutostartEntry(String const& program, String const& fileName,
                                         String const& registry) {
    String const folder = autostartFolder();
    if (folder.isEmpty()) {
        report(u"service manager: no home folder for the autostart entry");
        return false;
    }
    if (!detail::makeFolder(folder)) return false;
    using core::DesktopEntry;
    String command = DesktopEntry::quoteArgument(program) + u" boot";
    if (!registry.isEmpty())
        command = u"env " + DesktopEntry::quoteArgument(u"GT_SERVICE_REGISTRY=" + registry) + u" " + command;
    if (!DesktopEntry::execValue(command, &command)) {
        report(u"service manager: a path with a control character cannot go into an autostart entry");
        return false;
    }
    String const text =
        u"[Desktop Entry]\nType=Application\nName=gtsvc boot\n"
        u"Comment=Starts the automatic services of this user\nExec=" +
        command + u"\nTerminal=false\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
    return detail::writeFileAtomically(folder + u"/" + fileName, text.toBinary());
}

int ServiceManager::removeAutostartEntry(String const& fileName) {
    String const folder = autostartFolder();
    if (folder.isEmpty()) return 0;
    String const path = folder + u"/" + fileName;
    // A link in its place goes itself; what it points to stays.
    if (::unlink(core::detail::nativePath(path).c_str()) == 0) return 1;
    if (errno == ENOENT) return 0;
    report(u"service manager: cannot remove " + path + u": " + core::systemErrorText(errno));
    return -1;
}

}  // namespace svc
}  // namespace gt
