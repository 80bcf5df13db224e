// Values shared by the per-user service manager, its tool and the service
// side: states, start types, controls, the errors the operations give, and
// the status and configuration records.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace svc {

// What a service reports about itself. The numbers are the ones the service
// programs and their callers were written against.
enum ServiceState : int {
    SERVICE_STOPPED = 1,
    SERVICE_START_PENDING = 2,
    SERVICE_STOP_PENDING = 3,
    SERVICE_RUNNING = 4,
};

// How a service is started. Boot, system and automatic services are all
// started by the manager's boot entry point (there is no earlier stage for a
// per-user manager); on-demand ones only when asked; disabled ones never.
enum StartType : int {
    START_BOOT = 0,
    START_SYSTEM = 1,
    START_AUTO = 2,
    START_DEMAND = 3,
    START_DISABLED = 4,
};

// Controls sent to a running service, and the bit that says it takes one.
enum : int {
    CONTROL_STOP = 1,
    ACCEPT_STOP = 1,
};

// Results of the manager's operations. The numbers follow the error codes
// that callers of the original platform know.
enum ServiceError : int {
    SERVICE_OK = 0,
    SERVICE_ERROR_FILE_NOT_FOUND = 2,      // the command line's program cannot be run
    SERVICE_ERROR_ACCESS_DENIED = 5,       // not an administrator of the manager
    SERVICE_ERROR_INVALID_HANDLE = 6,      // a status handle that is not the current one
    SERVICE_ERROR_INVALID_PARAMETER = 87,  // bad name, start type or command line
    SERVICE_ERROR_IO = 1117,               // the registry folder cannot be read or written
    SERVICE_ERROR_REQUEST_TIMEOUT = 1053,  // the process never reached the dispatcher
    SERVICE_ERROR_ALREADY_RUNNING = 1056,
    SERVICE_ERROR_DISABLED = 1058,
    SERVICE_ERROR_DOES_NOT_EXIST = 1060,
    SERVICE_ERROR_CANNOT_ACCEPT_CTRL = 1061,  // start or stop pending, or stop not accepted
    SERVICE_ERROR_NOT_ACTIVE = 1062,
    SERVICE_ERROR_CONTROLLER_CONNECT = 1063,  // dispatcher started outside the manager
    SERVICE_ERROR_PROCESS_ABORTED = 1067,     // the process ended before reaching the dispatcher
    SERVICE_ERROR_MARKED_FOR_DELETE = 1072,
    SERVICE_ERROR_EXISTS = 1073,
};

struct ServiceStatus {
    int state = SERVICE_STOPPED;
    int controlsAccepted = 0;
    int exitCode = 0;
    int checkPoint = 0;
    int waitHint = 0;
    // Process of the running service, 0 when stopped.
    int processId = 0;
};

struct ServiceConfig {
    core::String name;
    core::String displayName;
    // Stored and given back exactly as created; started by splitting it into
    // arguments (double quotes group text with blanks), never by a shell.
    core::String commandLine;
    int startType = START_DEMAND;
    // Deleted while running: goes when it stops.
    bool markedForDelete = false;
};

// Short English text of an error, for the tool and logs.
core::String serviceErrorText(int error);

}  // namespace svc
}  // namespace gt
