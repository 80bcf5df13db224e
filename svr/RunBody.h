// The run body of the service program: take the single-instance lock, set up
// the log, build the application and run its one-second cycles until the
// console goes away (console mode), the service manager asks for a stop
// (service mode), or the "exit" signal arrives.
#pragma once

#include <functional>

namespace tunnel {

enum RunResult {
    RUN_OK = 0,       // normal end
    RUN_LOCKED = 4,   // another instance holds the lock
    RUN_NO_LOCK = 5,  // the lock file cannot be had (the cause is printed)
    RUN_FAILED = 9,   // the run ended by an exception
};

// Console mode: ends on SIGINT, SIGTERM, SIGHUP or SIGQUIT.
int runConsole();
// Service mode: ends on a STOP control; reports "running" to the service
// manager once the lock is held.
int run();
// The service's restart loop: runs the service-mode body again 3 s after
// each failure, until a stop was requested or a body ended otherwise. The
// last body's result; 9 when none ran.
int runServiceLoop();

// The common body; keepRunning is asked before every cycle, onLocked runs
// once the lock is held.
int runBody(std::function<bool()> const& keepRunning, std::function<void()> const& onLocked, bool console);

}  // namespace tunnel
