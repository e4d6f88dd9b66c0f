// The operations that move a service between its running states and read
// its state, over a service handle that the caller opened, for both forms:
// the ANSI exports are in state_control.cpp and the wide ones in
// state_control_wide.cpp. The linker keeps every function of an object file
// that it takes, so a program that uses only the ANSI forms, as the starter
// does, links none of the wide ones and imports none of the platform's wide
// calls.
#ifndef STATE_CONTROL_H
#define STATE_CONTROL_H

#include <windows.h>

#include "core/scm_session.h"

namespace service_control {

// The form's call that starts a service.
typedef BOOL (*StartCall)(SC_HANDLE service);

// The control of ControlServiceAndWaitStopped: code 103, which the platform
// refuses as no control it knows (ERROR_INVALID_PARAMETER), so that the
// operation stops nothing unless the service is stopped already.
const DWORD kControlAndWaitStoppedCode = 103;
const Access kUserControl = {SC_MANAGER_ALL_ACCESS,
                             SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL};
const Access kQueryStatus = {SC_MANAGER_ENUMERATE_SERVICE, SERVICE_QUERY_STATUS};

// The service's status record with its process; TRUE on success.
BOOL QueryStatusProcess(SC_HANDLE service, SERVICE_STATUS_PROCESS *status);

// Starts the service, then waits while it is start-pending and its check
// point keeps rising within its wait hint; writes 1 to *notRunning (when not
// null) if the wait ends in any other state than running. Returns 0 or the
// code of the failed call.
DWORD StartAndWaitWhilePending(SC_HANDLE service, StartCall start, DWORD *notRunning);

// Starts the service, then queries it at a fixed pace until it runs. Returns
// 0, the code of the failed call, or ERROR_SERVICE_NOT_ACTIVE.
DWORD StartAndPollUntilRunning(SC_HANDLE service, StartCall start);

// Sends control unless the service is stopped, then waits at a fixed pace
// for it to stop. Returns 0, the code of the failed call before the wait, or
// ERROR_SERVICE_REQUEST_TIMEOUT.
DWORD ControlAndWaitStopped(SC_HANDLE service, DWORD control);

// Queries the status, then sends control: only a failed query keeps it from
// being sent. Returns 0 or the code of the failed call.
DWORD QueryThenControl(SC_HANDLE service, DWORD control);

// Fills *status with QueryServiceStatus. Returns 0 or the code of the failed query.
DWORD QueryStatusInto(SC_HANDLE service, SERVICE_STATUS *status);

// Fills *status with QueryServiceStatusEx. Returns 0 or the code of the failed query.
DWORD QueryStatusProcessInto(SC_HANDLE service, SERVICE_STATUS_PROCESS *status);

}  // namespace service_control

#endif
