// Moving a service between its running states, and reading its state: the
// ANSI forms, and the bodies that both forms share.
#include "ops/state_control.h"

#include "service_control.h"
#include "wait/start_progress.h"

namespace service_control {
namespace {

const DWORD kPauseDivisor = 10;
const DWORD kShortestPauseMs = 1000;
const DWORD kLongestPauseMs = 10000;
const DWORD kPollPauseMs = 100;
const DWORD kPollQueries = 100;
const DWORD kStopPauseMs = 500;
const DWORD kStopPauses = 50;

// The pause between status queries: a tenth of the wait hint, within 1 and
// 10 s.
DWORD PauseForWaitHint(DWORD waitHint) {
  const DWORD pause = waitHint / kPauseDivisor;
  if (pause < kShortestPauseMs) return kShortestPauseMs;
  if (pause > kLongestPauseMs) return kLongestPauseMs;
  return pause;
}

// Waits while the service is start-pending and its check point keeps rising
// within its wait hint. Returns 0, or the code of a failed status query;
// status keeps the last record that a query delivered.
DWORD WaitWhileStartPending(SC_HANDLE service, SERVICE_STATUS_PROCESS *status) {
  StartProgress progress = ProgressFrom(*status, GetTickCount());
  while (status->dwCurrentState == SERVICE_START_PENDING) {
    Sleep(PauseForWaitHint(status->dwWaitHint));
    if (!QueryStatusProcess(service, status)) return GetLastError();
    if (!MakesProgress(&progress, *status, GetTickCount())) break;
  }
  return ERROR_SUCCESS;
}

}  // namespace

BOOL QueryStatusProcess(SC_HANDLE service, SERVICE_STATUS_PROCESS *status) {
  DWORD bytesNeeded;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(status),
                              sizeof *status, &bytesNeeded);
}

DWORD StartAndWaitWhilePending(SC_HANDLE service, StartCall start, DWORD *notRunning) {
  if (!start(service)) return GetLastError();
  SERVICE_STATUS_PROCESS status;
  if (!QueryStatusProcess(service, &status)) return GetLastError();
  const DWORD result = WaitWhileStartPending(service, &status);
  if (status.dwCurrentState != SERVICE_RUNNING && notRunning != NULL) *notRunning = 1;
  return result;
}

DWORD StartAndPollUntilRunning(SC_HANDLE service, StartCall start) {
  if (!start(service)) return GetLastError();
  SERVICE_STATUS status;
  DWORD passes = 0;
  do {
    if (!QueryServiceStatus(service, &status)) return GetLastError();
    Sleep(kPollPauseMs);
    ++passes;
  } while (passes < kPollQueries && status.dwCurrentState != SERVICE_RUNNING);
  return status.dwCurrentState == SERVICE_RUNNING ? ERROR_SUCCESS : ERROR_SERVICE_NOT_ACTIVE;
}

DWORD ControlAndWaitStopped(SC_HANDLE service, DWORD control) {
  SERVICE_STATUS status;
  if (!QueryServiceStatus(service, &status)) return GetLastError();
  if (status.dwCurrentState != SERVICE_STOPPED) {
    if (!ControlService(service, control, &status)) return GetLastError();
    // A failed query ends the wait; the record then still shows a state that
    // is not stopped, so the result is a time-out.
    for (DWORD passes = 0; passes < kStopPauses && status.dwCurrentState != SERVICE_STOPPED;
         ++passes) {
      Sleep(kStopPauseMs);
      if (!QueryServiceStatus(service, &status)) break;
    }
  }
  return status.dwCurrentState == SERVICE_STOPPED ? ERROR_SUCCESS : ERROR_SERVICE_REQUEST_TIMEOUT;
}

DWORD QueryThenControl(SC_HANDLE service, DWORD control) {
  // The status decides nothing; only a failed query stops the control.
  SERVICE_STATUS status;
  if (!QueryServiceStatus(service, &status) || !ControlService(service, control, &status)) {
    return GetLastError();
  }
  return ERROR_SUCCESS;
}

DWORD QueryStatusInto(SC_HANDLE service, SERVICE_STATUS *status) {
  return QueryServiceStatus(service, status) ? ERROR_SUCCESS : GetLastError();
}

DWORD QueryStatusProcessInto(SC_HANDLE service, SERVICE_STATUS_PROCESS *status) {
  return QueryStatusProcess(service, status) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace service_control

using namespace service_control;

extern "C" {

DWORD StartServiceAndWait(const char *serviceName, DWORD *notRunning) {
  return CodeResult(CodeOnService(serviceName, kFullAccess, StartAndWaitWhilePending,
                                  ScmApi<char>::Start, notRunning));
}

DWORD StartServiceAndPoll(const char *serviceName) {
  return CodeResult(
      CodeOnService(serviceName, kFullAccess, StartAndPollUntilRunning, ScmApi<char>::Start));
}

DWORD StopServiceAndWait(const char *serviceName) {
  return CodeResult(
      CodeOnService(serviceName, kFullAccess, ControlAndWaitStopped, SERVICE_CONTROL_STOP));
}

DWORD ControlServiceAndWaitStopped(const char *serviceName) {
  return CodeResult(
      CodeOnService(serviceName, kFullAccess, ControlAndWaitStopped, kControlAndWaitStoppedCode));
}

DWORD SendServiceControl(const char *serviceName, DWORD control) {
  return CodeResult(CodeOnService(serviceName, kUserControl, QueryThenControl, control));
}

DWORD QueryServiceState(const char *serviceName, SERVICE_STATUS *status) {
  if (status == NULL) return CodeResult(ERROR_INVALID_PARAMETER);
  return CodeResult(CodeOnService(serviceName, kQueryStatus, QueryStatusInto, status));
}

DWORD QueryServiceStateEx(const char *serviceName, SERVICE_STATUS_PROCESS *status) {
  if (status == NULL) return CodeResult(ERROR_INVALID_PARAMETER);
  return CodeResult(CodeOnService(serviceName, kQueryStatus, QueryStatusProcessInto, status));
}

}  // extern "C"
