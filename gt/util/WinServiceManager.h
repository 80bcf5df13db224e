// Control of one service, named at construction, through our per-user service
// manager: register, remove, start and stop it with a bounded wait, and ask
// whether it exists, whether it runs and which command line it is registered
// with. Each operation opens the manager's folder on its own; nothing is held
// between calls. Operations report only true or false. Built on our per-user
// service manager (gt/svc, which gt_util links).
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace util {

class WinServiceManager {
public:
    // Start types of create.
    static constexpr int START_DISABLED = 0;
    static constexpr int START_BOOT = 1;
    static constexpr int START_SYSTEM = 2;
    static constexpr int START_AUTO = 3;
    static constexpr int START_DEMAND = 4;

    explicit WinServiceManager(core::String const& name);
    virtual ~WinServiceManager();

    // Whether this process may create and remove services.
    static bool isAdmin();

    // False for a start type outside 0..4 (without touching the manager),
    // for a name that exists, or without administrator rights.
    bool create(core::String const& displayName, core::String const& commandLine, int startType);
    // Starts the service and waits until it runs. True at once when it
    // already runs; false at once when the start fails or the service falls
    // back to stopped; false when it is still start pending after the wait.
    bool start();
    // Asks the service to stop and waits until it stopped. True at once when
    // it was not running; false when the stop cannot be sent or the service
    // is still running after the wait.
    bool stop();
    bool remove();
    bool isInstalled() const;
    bool isRunning() const;
    // Asked to stop and not stopped yet: its process still runs.
    bool isStopping() const;
    // The command line exactly as registered; empty when the service does
    // not exist.
    core::String binaryPath() const;

    // The waits of start and stop: up to polls status queries, intervalMs
    // apart (300 and 100 unless changed). Tests shorten them.
    static void setWait(int polls, int intervalMs);

    // A command line for registering: the program path in double quotes
    // (a path with blanks is otherwise ambiguous), then the arguments when
    // there are any.
    static core::String quotedCommandLine(core::String const& program, core::String const& arguments);
    // The program path of a registered command line, from either form: in
    // double quotes, or unquoted and cut at the first " --" (older
    // registrations). White space around it is dropped.
    static core::String programPath(core::String const& commandLine);

private:
    bool _waitFor(int state) const;

    core::String m_name;
};

}  // namespace util
}  // namespace gt
