#include "process_watch.h"

#include <tlhelp32.h>

namespace service_control {
namespace {

// Whether the process list holds a process with this id and, where parentId
// is not null, that parent; *found receives its entry. Returns 0 or the code
// of a failed call.
DWORD FindInProcessList(DWORD id, const DWORD *parentId, PROCESSENTRY32W *found, bool *listed) {
  *listed = false;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return GetLastError();
  const KernelHandle list(snapshot);
  found->dwSize = sizeof *found;
  for (BOOL more = Process32FirstW(list.get(), found); more;
       more = Process32NextW(list.get(), found)) {
    if (found->th32ProcessID == id &&
        (parentId == NULL || found->th32ParentProcessID == *parentId)) {
      *listed = true;
      return ERROR_SUCCESS;
    }
  }
  const DWORD code = GetLastError();
  return code == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : code;
}

// Reads the process list for the process. Returns 0 or the code of a failed call.
DWORD LookUp(WatchedProcess *process, bool anyParent) {
  PROCESSENTRY32W entry;
  bool listed;
  const DWORD code =
      FindInProcessList(process->id, anyParent ? NULL : &process->parentId, &entry, &listed);
  if (code != ERROR_SUCCESS) return code;
  process->parentId = entry.th32ParentProcessID;
  process->exited = !listed;
  return ERROR_SUCCESS;
}

}  // namespace

DWORD WatchServiceProcess(const SERVICE_STATUS_PROCESS &status, DWORD access,
                          WatchedProcess *process) {
  if ((status.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) != 0 || status.dwProcessId == 0) {
    return ERROR_SUCCESS;
  }
  process->id = status.dwProcessId;
  process->handle.reset(OpenProcess(access, FALSE, process->id));
  if (process->handle.get() == NULL && access != SYNCHRONIZE &&
      GetLastError() != ERROR_INVALID_PARAMETER) {
    process->handle.reset(OpenProcess(SYNCHRONIZE, FALSE, process->id));
  }
  if (process->handle.get() != NULL) return ERROR_SUCCESS;
  // No such process: it has exited already.
  if (GetLastError() == ERROR_INVALID_PARAMETER) {
    process->exited = true;
    return ERROR_SUCCESS;
  }
  return LookUp(process, true);
}

DWORD LookUpListed(WatchedProcess *process) { return LookUp(process, false); }

DWORD WaitForProcessExit(WatchedProcess *process, const Deadline &deadline) {
  while (process->id != 0 && !process->exited) {
    const DWORD left = RemainingMs(deadline);
    if (left == 0) return WAIT_TIMEOUT;
    if (process->handle.get() == NULL) {
      Sleep(ShorterMs(left, kListPauseMs));
      const DWORD code = LookUpListed(process);
      if (code != ERROR_SUCCESS) return code;
      continue;
    }
    const DWORD waited = WaitForSingleObject(process->handle.get(), left);
    if (waited == WAIT_FAILED) return GetLastError();
    process->exited = waited == WAIT_OBJECT_0;
  }
  return ERROR_SUCCESS;
}

}  // namespace service_control
