// The bodies of the operations that move a service between its running
// states and read its state, for both character types. The ANSI forms are
// made in state_control.cpp and the wide ones in state_control_wide.cpp:
// the linker keeps every function of an object file that it takes, so a
// program that uses only the ANSI forms, as the starter does, links none of
// the wide ones and imports none of the platform's wide calls.
#ifndef STATE_CONTROL_H
#define STATE_CONTROL_H

#include "scm_session.h"

const DWORD kStopPauseMs = 500;
const DWORD kStopPauses = 50;
const DWORD kStopAndWaitControl = 103;

// The service's status record with its process; TRUE on success.
BOOL QueryStatusProcess(SC_HANDLE service, SERVICE_STATUS_PROCESS *status);

// Waits while the service is start-pending and its check point keeps rising
// within its wait hint. Returns 0, or the code of a failed status query; status
// keeps the last record that a query delivered.
DWORD WaitWhileStartPending(SC_HANDLE service, SERVICE_STATUS_PROCESS *status);

// Queries at a fixed pace until the service runs. Returns 0, the code of a
// failed query, or ERROR_SERVICE_NOT_ACTIVE.
DWORD PollUntilRunning(SC_HANDLE service);

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

// The exported functions of one form: the ANSI ones with an empty suffix
// for char, the wide ones with W for wchar_t.
#define STATE_CONTROL_EXPORTS(Char, suffix)                                                        \
  DWORD StartServiceAndWait##suffix(const Char *serviceName, DWORD *notRunning) {                  \
    return StartAndWait(serviceName, notRunning);                                                  \
  }                                                                                                \
  DWORD StartServiceAndPoll##suffix(const Char *serviceName) { return StartAndPoll(serviceName); } \
  DWORD StopServiceAndWait##suffix(const Char *serviceName) {                                      \
    return SendControlAndWaitStopped(serviceName, SERVICE_CONTROL_STOP);                           \
  }                                                                                                \
  DWORD ControlServiceAndWaitStopped##suffix(const Char *serviceName) {                            \
    return SendControlAndWaitStopped(serviceName, kStopAndWaitControl);                            \
  }                                                                                                \
  DWORD SendServiceControl##suffix(const Char *serviceName, DWORD control) {                       \
    return SendControl(serviceName, control);                                                      \
  }                                                                                                \
  DWORD QueryServiceState##suffix(const Char *serviceName, SERVICE_STATUS *status) {               \
    return QueryState(serviceName, status);                                                        \
  }

#endif
