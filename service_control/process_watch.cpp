#include "process_watch.h"

namespace service_control {
namespace {

unsigned long long FileTime(const FILETIME &time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void Pause(DWORD milliseconds, bool alertable) {
  if (alertable) {
    SleepEx(milliseconds, TRUE);
  } else {
    Sleep(milliseconds);
  }
}

}  // namespace

HANDLE OpenToWatch(DWORD id, DWORD access) {
  const HANDLE process = OpenProcess(access, FALSE, id);
  if (process != NULL || access == SYNCHRONIZE || GetLastError() == ERROR_INVALID_PARAMETER) {
    return process;
  }
  return OpenProcess(SYNCHRONIZE, FALSE, id);
}

bool TimesOf(HANDLE process, unsigned long long *created, unsigned long long *exited) {
  FILETIME creation, exit, kernel, user, now;
  if (process == NULL || !GetProcessTimes(process, &creation, &exit, &kernel, &user)) return false;
  GetSystemTimeAsFileTime(&now);
  // Wine answers with a time to come for a process whose loader has not run yet.
  *created = FileTime(creation) <= FileTime(now) ? FileTime(creation) : 0;
  *exited = FileTime(exit);
  return true;
}

DWORD SnapshotProcessList(KernelHandle *list) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return GetLastError();
  list->reset(snapshot);
  return ERROR_SUCCESS;
}

DWORD ReadProcessList(GrowingList<ListedProcess> *listed) {
  KernelHandle list;
  DWORD code = SnapshotProcessList(&list);
  if (code != ERROR_SUCCESS) return code;
  bool full = false;
  code = VisitProcesses(list.get(), [&](const PROCESSENTRY32W &entry) {
    full = !listed->Append({entry.th32ProcessID, entry.th32ParentProcessID});
    return full;
  });
  if (code != ERROR_SUCCESS) return code;
  return full ? ERROR_NOT_ENOUGH_MEMORY : ERROR_SUCCESS;
}

DWORD LookUpListed(WatchedProcess *process, bool anyParent) {
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

DWORD PauseOnProcess(WatchedProcess *process, DWORD milliseconds, bool alertable) {
  if (process == NULL || process->id == 0 || process->exited) {
    Pause(milliseconds, alertable);
    return ERROR_SUCCESS;
  }
  if (process->handle == NULL) {
    Pause(ShorterMs(milliseconds, kListPauseMs), alertable);
    return LookUpListed(process, false);
  }
  const DWORD waited = alertable ? WaitForSingleObjectEx(process->handle, milliseconds, TRUE)
                                 : WaitForSingleObject(process->handle, milliseconds);
  if (waited == WAIT_FAILED) return GetLastError();
  process->exited = waited == WAIT_OBJECT_0;
  return ERROR_SUCCESS;
}

}  // namespace service_control
