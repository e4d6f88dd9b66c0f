#include "process_watch.h"

namespace service_control {
namespace {

// Reads the process list for the process: exited once the list no longer
// holds its id (with its parent, unless anyParent). Returns 0 or the code of
// a failed call.
DWORD LookUp(WatchedProcess *process, bool anyParent) {
  KernelHandle list;
  DWORD code = SnapshotProcessList(&list);
  if (code != ERROR_SUCCESS) return code;
  bool listed = false;
  code = VisitProcesses(list.get(), [&](const PROCESSENTRY32W &entry) {
    if (entry.th32ProcessID != process->id ||
        (!anyParent && entry.th32ParentProcessID != process->parentId)) {
      return false;
    }
    process->parentId = entry.th32ParentProcessID;
    listed = true;
    return true;
  });
  if (code != ERROR_SUCCESS) return code;
  process->exited = !listed;
  return ERROR_SUCCESS;
}

}  // namespace

HANDLE OpenToWatch(DWORD id, DWORD access) {
  const HANDLE process = OpenProcess(access, FALSE, id);
  if (process != NULL || access == SYNCHRONIZE || GetLastError() == ERROR_INVALID_PARAMETER) {
    return process;
  }
  return OpenProcess(SYNCHRONIZE, FALSE, id);
}

DWORD SnapshotProcessList(KernelHandle *list) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return GetLastError();
  list->reset(snapshot);
  return ERROR_SUCCESS;
}

DWORD WatchServiceProcess(const SERVICE_STATUS_PROCESS &status, DWORD access,
                          WatchedProcess *process) {
  if ((status.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) != 0 || status.dwProcessId == 0) {
    return ERROR_SUCCESS;
  }
  process->id = status.dwProcessId;
  process->handle.reset(OpenToWatch(process->id, access));
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
