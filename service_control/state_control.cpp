// Moving a service between its running states, and reading its state: the
// ANSI forms, and what both forms share.
#include "state_control.h"

#include <stddef.h>

#include "service_control.h"

namespace {

const DWORD kPauseDivisor = 10;
const DWORD kShortestPauseMs = 1000;
const DWORD kLongestPauseMs = 10000;
const DWORD kPollPauseMs = 100;
const DWORD kPollQueries = 100;

DWORD PauseForWaitHint(DWORD waitHint) {
  const DWORD pause = waitHint / kPauseDivisor;
  if (pause < kShortestPauseMs) return kShortestPauseMs;
  if (pause > kLongestPauseMs) return kLongestPauseMs;
  return pause;
}

}  // namespace

BOOL QueryStatusProcess(SC_HANDLE service, SERVICE_STATUS_PROCESS *status) {
  DWORD bytesNeeded;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(status),
                              sizeof *status, &bytesNeeded);
}

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

extern "C" {
STATE_CONTROL_EXPORTS(char, )
}  // extern "C"
