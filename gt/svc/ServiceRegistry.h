// The files of the service manager's folder, shared by the manager side and
// the service side: the folder lock, service records, state files, the
// live-process check and the detached start of a service process.
#pragma once

#include <string>
#include <vector>

#include "gt/svc/ServiceTypes.h"

namespace gt {
namespace svc {
namespace detail {

// What the state file holds: the reported status, the process and the token
// of the start that launched it.
struct StateRecord {
    ServiceStatus status;
    long long startTime = 0;  // of the process, from /proc: tells a reused pid apart
    std::string token;
    bool connected = false;  // the process reached the dispatcher
};

class ServiceRegistry {
public:
    explicit ServiceRegistry(std::string folder);

    std::string const& folder() const { return m_folder; }

    // Creates the folder (and its parents) when missing.
    bool ensureFolder() const;

    // The folder's exclusive lock, waited for at most timeoutMs. Held until
    // unlock or destruction.
    bool lock(int timeoutMs = 5000);
    void unlock();
    ~ServiceRegistry();
    ServiceRegistry(ServiceRegistry const&) = delete;
    ServiceRegistry& operator=(ServiceRegistry const&) = delete;

    // The file key of a service name: lower-cased ASCII as UTF-8; empty for
    // a name that cannot be a file name (empty, too long, '/', '\\', control
    // characters, a leading '.').
    static std::string keyOf(core::String const& name);

    std::string path(std::string const& key, char const* suffix) const;

    // 1 read, 0 missing, -1 unreadable or malformed.
    int readRecord(std::string const& key, ServiceConfig* config) const;
    bool writeRecord(std::string const& key, ServiceConfig const& config) const;
    int readState(std::string const& key, StateRecord* state) const;
    bool writeState(std::string const& key, StateRecord const& state) const;
    // Removes record and state of a service (the log stays for a look after).
    void removeService(std::string const& key) const;
    // Every key with a record, sorted.
    bool keys(std::vector<std::string>* out) const;

    // The process exists, is no zombie and started at startTime. A pid alone
    // (startTime 0) names nobody: the number may have gone to another process.
    static bool isAlive(int pid, long long startTime);
    // Sends sig to the process only while it is the one that started at
    // startTime; 0, or the errno of the failure (ESRCH: gone or not ours).
    static int signalProcess(int pid, long long startTime, int sig);
    // Start time of a process in clock ticks since boot; 0 when unknown.
    static long long processStartTime(int pid);
    // Fresh random token text.
    static std::string newToken();

    // When the state says the service runs but its process has gone, the
    // state becomes stopped (exit code SERVICE_ERROR_PROCESS_ABORTED) and a
    // service marked for delete goes. Returns the state as it now stands;
    // false when the files cannot be read. Needs the lock.
    bool refresh(std::string const& key, ServiceConfig* config, StateRecord* state, bool* exists) const;

private:
    std::string m_folder;
    int m_lockFd = -1;
};

// Writes content to path through a temporary file in the same folder and a
// rename; false (reason logged to stderr) on failure.
bool writeFileAtomically(std::string const& path, std::string const& content);
// Opens a regular file without waiting and without following a link (a FIFO,
// a device, a folder or a link is refused); the descriptor is close-on-exec
// and blocking. -1 with errno set and the reason logged to stderr, except for
// a missing file when quietWhenMissing.
int openRegularFile(std::string const& path, int flags, bool quietWhenMissing);
// Reads a regular file of at most maxBytes; 1 read, 0 missing, -1 error,
// not a regular file or too big.
int readSmallFile(std::string const& path, std::string* out, size_t maxBytes = 65536);
// Text as UTF-8, every character kept; a lone surrogate becomes U+FFFD.
std::string toUtf8(core::String const& s);
// Milliseconds of the monotonic clock (not the tick clock, which tests may replace).
long long nowMs();
// Milliseconds from $name when it holds a positive number, else fallback.
int environmentMs(char const* name, int fallback);

}  // namespace detail
}  // namespace svc
}  // namespace gt
