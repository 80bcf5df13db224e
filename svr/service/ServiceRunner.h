// Runs a body as the service of this process under our service manager: the
// dispatcher calls the service main on a thread of its own, which reports
// start-pending, runs the body and reports stopped; a STOP control while the
// service runs asks the body to end (getServiceState() == STOP_REQUESTED).
// The body itself reports "running" (reportServiceRunning) once it is really
// able to work, so a start that cannot take the single-instance lock never
// shows as running.
#pragma once

#include <functional>

namespace tunnel {

enum ServiceRunState { SERVICE_IDLE = 0, SERVICE_ACTIVE = 1, SERVICE_STOP_REQUESTED = 2 };

// False for an empty body, while another body runs, and when the process was
// not started by the service manager (the body then never runs). Returns
// after the body has returned and the service reported itself stopped.
bool runAsService(std::function<void()> body);
// 0 idle, 1 running, 2 stop requested.
int getServiceState();
// Reports SERVICE_RUNNING (accepting STOP) when a service body runs; nothing
// otherwise.
void reportServiceRunning();

}  // namespace tunnel
