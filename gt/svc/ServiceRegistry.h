// The files of the service manager's folder, shared by the manager side and
// the service side: the folder lock, service records, state files, the
// live-process check and the signal that reaches only our own process.
//
// Records and state files are "key=value" lines in UTF-8. Every file is
// opened without waiting and without following a link, and only a regular
// file is read or written: a FIFO or a link put in the folder is refused with
// its path, never waited on or followed.
#pragma once

#include <vector>

#include "gt/core/lang/Binary.h"
#include "gt/svc/ServiceTypes.h"

namespace gt {
namespace svc {
namespace detail {

// What the state file holds: the reported status, the process and the token
// of the start that launched it.
struct StateRecord {
    ServiceStatus status;
    // Of the process, from /proc: with the pid it names one process. A state
    // without it names nobody (a pid alone may belong to anyone by now).
    long long startTime = 0;
    core::String token;
    bool connected = false;  // the process reached the dispatcher
};

class ServiceRegistry {
public:
    explicit ServiceRegistry(core::String const& folder);
    ~ServiceRegistry();
    ServiceRegistry(ServiceRegistry const&) = delete;
    ServiceRegistry& operator=(ServiceRegistry const&) = delete;

    core::String const& folder() const { return m_folder; }

    // Creates the folder (and its parents, private to the user) when missing.
    bool ensureFolder() const;

    // The folder's exclusive lock, waited for at most timeoutMs. Held until
    // unlock or destruction.
    bool lock(int timeoutMs = 5000);
    void unlock();

    // The file key of a service name: lower-cased ASCII; empty for a name
    // that cannot be a file name (empty, too long, '/', '\\', control
    // characters, a leading '.').
    static core::String keyOf(core::String const& name);

    core::String path(core::String const& key, core::Char const* suffix) const;

    // 1 read, 0 missing, -1 unreadable, not a regular file or malformed.
    int readRecord(core::String const& key, ServiceConfig* config) const;
    bool writeRecord(core::String const& key, ServiceConfig const& config) const;
    int readState(core::String const& key, StateRecord* state) const;
    bool writeState(core::String const& key, StateRecord const& state) const;
    // Removes record and state of a service (the log stays for a look after).
    void removeService(core::String const& key) const;
    // Every key with a record, sorted; false when the folder cannot be read.
    bool keys(std::vector<core::String>* out) const;

    // The process exists, is no zombie and started at startTime.
    static bool isAlive(int pid, long long startTime);
    // Sends sig to the process only while it is the one that started at
    // startTime; 0, or the errno of the failure (ESRCH: gone or not ours).
    static int signalProcess(int pid, long long startTime, int sig);
    // Start time of a process in clock ticks since boot; 0 when unknown.
    static long long processStartTime(int pid);
    // Fresh random token text.
    static core::String newToken();

    // When the state says the service runs but its process has gone, the
    // state becomes stopped (exit code SERVICE_ERROR_PROCESS_ABORTED) and a
    // service marked for delete goes. Returns the state as it now stands;
    // false when the files cannot be read. Needs the lock.
    bool refresh(core::String const& key, ServiceConfig* config, StateRecord* state, bool* exists) const;

private:
    core::String m_folder;
    int m_lockFd = -1;
};

// One line to standard error: the manager stands in for the platform's
// service manager, which has no log of ours to write to (see
// docs/ARCHITECTURE.md).
void report(core::String const& line);
// Creates a folder and its missing parents, private to the user; false
// (reason reported) when it cannot be made.
bool makeFolder(core::String const& folder);
// Opens a regular file without waiting and without following a link (a FIFO,
// a device, a folder or a link is refused); the descriptor is close-on-exec
// and blocking. -1 with errno set and the reason reported, except for a
// missing file when quietWhenMissing.
int openRegularFile(core::String const& path, int flags, bool quietWhenMissing);
// Writes content to path through a new temporary file in the same folder and
// a rename; false (reason reported) on failure.
bool writeFileAtomically(core::String const& path, core::Binary const& content);
// Reads a regular file of at most maxBytes; 1 read, 0 missing, -1 error,
// not a regular file or too big.
int readSmallFile(core::String const& path, core::Binary* out, int maxBytes = 65536);
// Milliseconds of the monotonic clock (not the tick clock, which tests may replace).
long long nowMs();
// Milliseconds from $name when it holds a positive number, else fallback.
int environmentMs(char const* name, int fallback);

}  // namespace detail
}  // namespace svc
}  // namespace gt
