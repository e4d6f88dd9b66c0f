// What the start of an update takes from its stop.
#ifndef STOP_H
#define STOP_H

#include <windows.h>

#include "core/deadline.h"
#include "wait/service_wait.h"

namespace service_control {

// Finishes a stop for an update that the end of its updater cut short:
// waits while the service is stopping until it and its process tree are
// gone, and with kill ends at the deadline what is left. Returns 0, at once
// for one that is not stopping, ERROR_SERVICE_REQUEST_TIMEOUT or
// WAIT_TIMEOUT at the deadline, or the code of the failed call.
DWORD FinishStop(SC_HANDLE service, StatusWatch *watch, const Deadline &deadline, bool kill);

}  // namespace service_control

#endif
