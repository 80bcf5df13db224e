// The service side of the per-user service manager. A program started by the
// manager hands a table of its services to ServiceDispatcher::run on its main
// thread; run connects to the manager, runs the service's main function on a
// thread of its own and calls the registered control handler on the calling
// thread when a control arrives (STOP comes as SIGTERM; the signal handler
// only sets an atomic). The main function registers the control handler and
// reports its states with setStatus; run returns when the main function has
// returned. While it runs, run owns the SIGTERM handler (the previous one
// comes back afterwards).
//
// Typical main function:
//     handle = registerControlHandler(name, onControl);
//     setStatus(handle, {SERVICE_START_PENDING});
//     setStatus(handle, {SERVICE_RUNNING, ACCEPT_STOP});
//     ... work until onControl(CONTROL_STOP) asked to stop ...
//     setStatus(handle, {SERVICE_STOPPED, 0, 0, 3});
#pragma once

#include <vector>

#include "gt/core/lang/String.h"
#include "gt/svc/ServiceTypes.h"

namespace gt {
namespace svc {

class ServiceDispatcher {
public:
    using MainFunction = void (*)();
    using ControlHandler = void (*)(int control);
    // 0 is never a valid handle.
    using StatusHandle = int;

    struct Entry {
        core::String name;
        MainFunction main = nullptr;
    };

    // Runs the service of the table that the manager started (the entry with
    // the manager's service name; a table of one entry runs that entry under
    // any name). Blocks until its main function returned; true then. False at
    // once when the program was not started by the manager (run by hand) or
    // the manager does not confirm the start (lastError()
    // SERVICE_ERROR_CONTROLLER_CONNECT), when no entry fits
    // (SERVICE_ERROR_DOES_NOT_EXIST) or when a dispatcher already runs in
    // this process (SERVICE_ERROR_ALREADY_RUNNING).
    static bool run(std::vector<Entry> const& table);

    // From the main function: the handle for setStatus, or 0 when no
    // dispatcher runs or the name is not the running service's.
    static StatusHandle registerControlHandler(core::String const& name, ControlHandler handler);

    // Reports the service's state to the manager; false (and the reason in
    // lastError) when the handle is not the current one or the report cannot
    // be written. Reporting SERVICE_STOPPED also removes a service that was
    // deleted while running. processId is filled in by the dispatcher.
    static bool setStatus(StatusHandle handle, ServiceStatus const& status);

    // Error of the last failed call of this class on any thread.
    static int lastError();

private:
    ServiceDispatcher() = delete;
};

}  // namespace svc
}  // namespace gt
