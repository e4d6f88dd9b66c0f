// Moving a service between its running states, and reading its state.
#include <stddef.h>

#include "scm_session.h"
#include "service_control.h"

namespace {

const DWORD kPauseDivisor = 10;
const DWORD kShortestPauseMs = 1000;
const DWORD kLongestPauseMs = 10000;
const DWORD kPollPauseMs = 100;
const DWORD kPollQueries = 100;
const DWORD kStopPauseMs = 500;
const DWORD kStopPauses = 50;
const DWORD kStopAndWaitControl = 103;

BOOL QueryStatusProcess(SC_HANDLE service, SERVICE_STATUS_PROCESS *status) {
  DWORD bytesNeeded;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(status),
                              sizeof *status, &bytesNeeded);
}

DWORD PauseForWaitHint(DWORD waitHint) {
  const DWORD pause = waitHint / kPauseDivisor;
  if (pause < kShortestPauseMs) return kShortestPauseMs;
  if (pause > kLongestPauseMs) return kLongestPauseMs;
  return pause;
}

// Waits while the service is start-pending and its check point keeps rising
// within its wait hint. Returns 0, or the code of a failed status query; status
// keeps the last record that a query delivered.
DWORD WaitWhileStartPending(SC_HANDLE service, SERVICE_STATUS_PROCESS *status) {
  DWORD clockStart = GetTickCount();
  DWORD lastCheckPoint = status->dwCheckPoint;
  while (status->dwCurrentState == SERVICE_START_PENDING) {
    Sleep(PauseForWaitHint(status->dwWaitHint));
    if (!QueryStatusProcess(service, status)) return GetLastError();
    if (status->dwCheckPoint > lastCheckPoint) {
      clockStart = GetTickCount();
      lastCheckPoint = status->dwCheckPoint;
      continue;
    }
    if (GetTickCount() - clockStart > status->dwWaitHint) break;
  }
  return ERROR_SUCCESS;
}

// Queries at a fixed pace until the service runs. Returns 0, the code of a
// failed query, or ERROR_SERVICE_NOT_ACTIVE.
DWORD PollUntilRunning(SC_HANDLE service) {
  SERVICE_STATUS status;
  DWORD passes = 0;
  do {
    if (!QueryServiceStatus(service, &status)) return GetLastError();
    Sleep(kPollPauseMs);
    ++passes;
  } while (passes < kPollQueries && status.dwCurrentState != SERVICE_RUNNING);
  return status.dwCurrentState == SERVICE_RUNNING ? ERROR_SUCCESS : ERROR_SERVICE_NOT_ACTIVE;
}

// Sends control unless the service is stopped, then waits at a fixed pace for
// it to stop.
DWORD SendControlAndWaitStopped(const char *serviceName, DWORD control) {
  SC_HANDLE manager;
  SC_HANDLE service;
  DWORD result = OpenWithFullAccess(serviceName, &manager, &service);
  if (result != ERROR_SUCCESS) return result;
  SERVICE_STATUS status;
  if (!QueryServiceStatus(service, &status)) {
    return CloseHandlesAndReturn(service, manager, GetLastError());
  }
  if (status.dwCurrentState != SERVICE_STOPPED) {
    if (!ControlService(service, control, &status)) {
      return CloseHandlesAndReturn(service, manager, GetLastError());
    }
    // A failed query ends the wait; the record then still shows a state that
    // is not stopped, so the result is a time-out.
    for (DWORD passes = 0; passes < kStopPauses && status.dwCurrentState != SERVICE_STOPPED;
         ++passes) {
      Sleep(kStopPauseMs);
      if (!QueryServiceStatus(service, &status)) break;
    }
  }
  result = status.dwCurrentState == SERVICE_STOPPED ? ERROR_SUCCESS : ERROR_SERVICE_REQUEST_TIMEOUT;
  return CloseHandlesAndReturn(service, manager, result);
}

}  // namespace

extern "C" {

DWORD StartServiceAndWait(const char *serviceName, DWORD *notRunning) {
  SC_HANDLE manager;
  SC_HANDLE service;
  DWORD result = OpenWithFullAccess(serviceName, &manager, &service);
  if (result != ERROR_SUCCESS) return result;
  if (!StartServiceA(service, 0, NULL)) {
    return CloseHandlesAndReturn(service, manager, GetLastError());
  }
  SERVICE_STATUS_PROCESS status;
  if (!QueryStatusProcess(service, &status)) {
    return CloseHandlesAndReturn(service, manager, GetLastError());
  }
  result = WaitWhileStartPending(service, &status);
  if (status.dwCurrentState != SERVICE_RUNNING && notRunning != NULL) *notRunning = 1;
  return CloseHandlesAndReturn(service, manager, result);
}

DWORD StartServiceAndPoll(const char *serviceName) {
  SC_HANDLE manager;
  SC_HANDLE service;
  DWORD result = OpenWithFullAccess(serviceName, &manager, &service);
  if (result != ERROR_SUCCESS) return result;
  result = StartServiceA(service, 0, NULL) ? PollUntilRunning(service) : GetLastError();
  return CloseHandlesAndReturn(service, manager, result);
}

DWORD StopServiceAndWait(const char *serviceName) {
  return SendControlAndWaitStopped(serviceName, SERVICE_CONTROL_STOP);
}

DWORD ControlServiceAndWaitStopped(const char *serviceName) {
  return SendControlAndWaitStopped(serviceName, kStopAndWaitControl);
}

DWORD SendServiceControl(const char *serviceName, DWORD control) {
  SC_HANDLE manager;
  SC_HANDLE service;
  DWORD result = OpenManagerAndService(SC_MANAGER_ALL_ACCESS, serviceName,
                                       SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL,
                                       &manager, &service);
  if (result != ERROR_SUCCESS) return result;
  // The status decides nothing; only a failed query stops the control.
  SERVICE_STATUS status;
  if (!QueryServiceStatus(service, &status) || !ControlService(service, control, &status)) {
    result = GetLastError();
  }
  return CloseHandlesAndReturn(service, manager, result);
}

DWORD QueryServiceState(const char *serviceName, SERVICE_STATUS *status) {
  if (status == NULL) return FailWith(ERROR_INVALID_PARAMETER);
  SC_HANDLE manager;
  SC_HANDLE service;
  DWORD result = OpenManagerAndService(SC_MANAGER_ENUMERATE_SERVICE, serviceName,
                                       SERVICE_QUERY_STATUS, &manager, &service);
  if (result != ERROR_SUCCESS) return result;
  if (!QueryServiceStatus(service, status)) result = GetLastError();
  return CloseHandlesAndReturn(service, manager, result);
}

}  // extern "C"
