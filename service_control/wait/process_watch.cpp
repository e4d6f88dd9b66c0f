#include "wait/process_watch.h"

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

DWORD ReadProcessList(GrowingList<ListedProcess> *listed) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return GetLastError();
  const KernelHandle list(snapshot);
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(list.get(), &entry); more;
       more = Process32NextW(list.get(), &entry)) {
    if (!listed->Append({entry.th32ProcessID, entry.th32ParentProcessID})) {
      return ERROR_NOT_ENOUGH_MEMORY;
    }
  }
  const DWORD code = GetLastError();
  return code == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : code;
}

DWORD LookUpListed(WatchedProcess *process, bool anyParent) {
  GrowingList<ListedProcess> list;
  const DWORD code = ReadProcessList(&list);
  if (code != ERROR_SUCCESS) return code;
  process->exited = true;
  for (size_t i = 0; i < list.count() && process->exited; ++i) {
    if (list[i].id != process->id || (!anyParent && list[i].parentId != process->parentId)) {
      continue;
    }
    process->parentId = list[i].parentId;
    process->exited = false;
  }
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
