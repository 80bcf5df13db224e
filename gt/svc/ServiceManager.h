// The per-user service manager: a folder of service records and state files
// that any process of the user may open. There is no daemon: each operation
// takes the folder's lock, reads or writes the files and lets go.
//
// Folder: $GT_SERVICE_REGISTRY, else $XDG_STATE_HOME/gtsvc, else
// ~/.local/state/gtsvc. Per service (file names are the lower-cased name,
// since service names compare without regard to ASCII case):
//   <name>.service  the record (name, display name, command line, start type,
//                   marked for delete), written to a temporary file and renamed;
//   <name>.state    the reported status with the process and its start token;
//   <name>.log      standard output and error of the service process.
//
// start spawns the command line detached (its own session, stdin from
// /dev/null, output appended to the log) with GT_SERVICE_REGISTRY,
// GT_SERVICE_NAME, GT_SERVICE_TOKEN and GT_SERVICE_CONNECT_TIMEOUT_MS in its
// environment, then waits until the process reached ServiceDispatcher::run
// (the connect time-out: $GT_SERVICE_CONNECT_TIMEOUT_MS, else 30000 ms). A
// service whose process has gone without reporting SERVICE_STOPPED is read
// as stopped.
//
// Administrator switch: $GT_SERVICE_ADMIN set to "0" makes this process a
// plain user of the manager: create, delete, start and control are refused
// with SERVICE_ERROR_ACCESS_DENIED while queries and list still work.
#pragma once

#include <vector>

#include "gt/core/lang/String.h"
#include "gt/svc/ServiceTypes.h"

namespace gt {
namespace svc {

class ServiceManager {
public:
    // The folder from the environment, as described above.
    ServiceManager();
    explicit ServiceManager(core::String const& folder);
    virtual ~ServiceManager();

    core::String const& folder() const { return m_folder; }

    static core::String defaultFolder();
    // The administrator switch is on and the folder can be created and written.
    bool isAdmin() const;
    // Connect time-out in effect for start (milliseconds).
    static int connectTimeoutMs();

    int create(ServiceConfig const& config);
    // A service that runs is marked and goes when it stops.
    int remove(core::String const& name);
    int start(core::String const& name);
    // Only CONTROL_STOP exists; status gets the state as it was when the
    // control was sent.
    int control(core::String const& name, int control, ServiceStatus* status);
    int queryStatus(core::String const& name, ServiceStatus* status);
    int queryConfig(core::String const& name, ServiceConfig* config);
    // Every service of the folder, ordered by file name.
    int list(std::vector<ServiceConfig>* configs);
    // Starts every boot, system and automatic service that is not running;
    // the number of services that failed to start, -1 when the folder
    // cannot be read or this process is no administrator.
    int boot();

    // Folder of the user's XDG autostart entries: $XDG_CONFIG_HOME/autostart,
    // else ~/.config/autostart; empty when there is no home folder.
    static core::String autostartFolder();
    // Writes the autostart entry <fileName> that runs the program with
    // "boot" at the user's login; with a registry folder, the program runs
    // with GT_SERVICE_REGISTRY set to it. False with the reason reported
    // when it cannot be written.
    static bool writeAutostartEntry(core::String const& program, core::String const& fileName,
                                    core::String const& registry = core::String());
    // Takes the entry away again: 1 removed, 0 there was none, -1 it could
    // not be removed (reason reported).
    static int removeAutostartEntry(core::String const& fileName);

private:
    int _start(core::String const& key);

    core::String m_folder;
};

}  // namespace svc
}  // namespace gt
