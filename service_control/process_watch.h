// The process of a service, watched until it has exited: through a handle
// where it can be opened, and where it cannot, through the process list,
// which needs no right on it. On Windows an account that may stop a service
// may hold no right on its process (one that runs as LocalSystem).
#ifndef PROCESS_WATCH_H
#define PROCESS_WATCH_H

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "deadline.h"
#include "owned.h"

namespace service_control {

struct WatchedProcess {
  DWORD id;        // 0: none to wait for (none at all, or one that others share)
  DWORD parentId;  // as the process list shows it, which tells a reused id
  bool exited;
  KernelHandle handle;  // null where the process could not be opened
};

// The rights of a watch that may end the process, and tell its own children
// from processes that took a reused id by its times.
const DWORD kWatchToKill = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE;

// Opens the process with access or, where that is refused, with SYNCHRONIZE
// alone, which is enough to wait for it. Returns null, with the last error
// of the failed open, where neither may be had or the process has gone
// (ERROR_INVALID_PARAMETER).
HANDLE OpenToWatch(DWORD id, DWORD access);

// Takes a snapshot of the process list into list. Returns 0 or the code of
// the failed call.
DWORD SnapshotProcessList(KernelHandle *list);

// Calls visit(entry) for each process of the snapshot, until it returns
// true. Returns 0 or the code of a failed call.
template <typename Visit>
DWORD VisitProcesses(HANDLE list, Visit visit) {
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(list, &entry); more; more = Process32NextW(list, &entry)) {
    if (visit(entry)) return ERROR_SUCCESS;
  }
  const DWORD code = GetLastError();
  return code == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : code;
}

// Starts to watch the process that the service's status names, unless
// others share it, opening it with access where it may (else with
// SYNCHRONIZE, else not at all). Returns 0 or the code of a failed call.
DWORD WatchServiceProcess(const SERVICE_STATUS_PROCESS &status, DWORD access,
                          WatchedProcess *process);

// The longest pause before the process list is read again, where it is the
// only way to tell.
const DWORD kListPauseMs = 100;

// Reads the process list for a process watched through it: exited once the
// list no longer holds its id with its parent. Returns 0 or the code of a
// failed call.
DWORD LookUpListed(WatchedProcess *process);

// Waits until the process has exited. Returns 0, WAIT_TIMEOUT at the
// deadline, or the code of a failed call.
DWORD WaitForProcessExit(WatchedProcess *process, const Deadline &deadline);

}  // namespace service_control

#endif
