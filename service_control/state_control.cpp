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
template <typename Char>
DWORD SendControlAndWaitStopped(const Char *serviceName, DWORD control) {
  return WithFullAccess(serviceName, [control](SC_HANDLE service) -> DWORD {
    SERVICE_STATUS status;
    if (!QueryServiceStatus(service, &status)) return GetLastError();
    if (status.dwCurrentState != SERVICE_STOPPED) {
      if (!ControlService(service, control, &status)) return GetLastError();
      // A failed query ends the wait; the record then still shows a state
      // that is not stopped, so the result is a time-out.
      for (DWORD passes = 0; passes < kStopPauses && status.dwCurrentState != SERVICE_STOPPED;
           ++passes) {
        Sleep(kStopPauseMs);
        if (!QueryServiceStatus(service, &status)) break;
      }
    }
    return status.dwCurrentState == SERVICE_STOPPED ? ERROR_SUCCESS : ERROR_SERVICE_REQUEST_TIMEOUT;
  });
}

template <typename Char>
DWORD StartAndWait(const Char *serviceName, DWORD *notRunning) {
  return WithFullAccess(serviceName, [notRunning](SC_HANDLE service) -> DWORD {
    if (!ScmApi<Char>::Start(service)) return GetLastError();
    SERVICE_STATUS_PROCESS status;
    if (!QueryStatusProcess(service, &status)) return GetLastError();
    const DWORD result = WaitWhileStartPending(service, &status);
    if (status.dwCurrentState != SERVICE_RUNNING && notRunning != NULL) *notRunning = 1;
    return result;
  });
}

template <typename Char>
DWORD StartAndPoll(const Char *serviceName) {
  return WithFullAccess(serviceName, [](SC_HANDLE service) -> DWORD {
    return ScmApi<Char>::Start(service) ? PollUntilRunning(service) : GetLastError();
  });
}

template <typename Char>
DWORD SendControl(const Char *serviceName, DWORD control) {
  return WithService(
      serviceName, SC_MANAGER_ALL_ACCESS, SERVICE_QUERY_STATUS | SERVICE_USER_DEFINED_CONTROL, NULL,
      [control](SC_HANDLE service) -> DWORD {
        // The status decides nothing; only a failed query stops the control.
        SERVICE_STATUS status;
        if (!QueryServiceStatus(service, &status) || !ControlService(service, control, &status)) {
          return GetLastError();
        }
        return ERROR_SUCCESS;
      });
}

template <typename Char>
DWORD QueryState(const Char *serviceName, SERVICE_STATUS *status) {
  if (status == NULL) return FailWith(ERROR_INVALID_PARAMETER);
  return WithService(serviceName, SC_MANAGER_ENUMERATE_SERVICE, SERVICE_QUERY_STATUS, NULL,
                     [status](SC_HANDLE service) -> DWORD {
                       return QueryServiceStatus(service, status) ? ERROR_SUCCESS : GetLastError();
                     });
}

}  // namespace

extern "C" {

DWORD StartServiceAndWait(const char *serviceName, DWORD *notRunning) {
  return StartAndWait(serviceName, notRunning);
}
DWORD StartServiceAndWaitW(const wchar_t *serviceName, DWORD *notRunning) {
  return StartAndWait(serviceName, notRunning);
}

DWORD StartServiceAndPoll(const char *serviceName) { return StartAndPoll(serviceName); }
DWORD StartServiceAndPollW(const wchar_t *serviceName) { return StartAndPoll(serviceName); }

DWORD StopServiceAndWait(const char *serviceName) {
  return SendControlAndWaitStopped(serviceName, SERVICE_CONTROL_STOP);
}
DWORD StopServiceAndWaitW(const wchar_t *serviceName) {
  return SendControlAndWaitStopped(serviceName, SERVICE_CONTROL_STOP);
}

DWORD ControlServiceAndWaitStopped(const char *serviceName) {
  return SendControlAndWaitStopped(serviceName, kStopAndWaitControl);
}
DWORD ControlServiceAndWaitStoppedW(const wchar_t *serviceName) {
  return SendControlAndWaitStopped(serviceName, kStopAndWaitControl);
}

DWORD SendServiceControl(const char *serviceName, DWORD control) {
  return SendControl(serviceName, control);
}
DWORD SendServiceControlW(const wchar_t *serviceName, DWORD control) {
  return SendControl(serviceName, control);
}

DWORD QueryServiceState(const char *serviceName, SERVICE_STATUS *status) {
  return QueryState(serviceName, status);
}
DWORD QueryServiceStateW(const wchar_t *serviceName, SERVICE_STATUS *status) {
  return QueryState(serviceName, status);
}

}  // extern "C"
