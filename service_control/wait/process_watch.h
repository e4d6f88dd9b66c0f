// One wait for a process until it has exited: on its handle where it can be
// opened, and where it cannot, through the process list, which needs no
// right on it. On Windows an account that may stop a service may hold no
// right on its process (one that runs as LocalSystem).
#ifndef PROCESS_WATCH_H
#define PROCESS_WATCH_H

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "core/deadline.h"
#include "core/owned.h"

namespace service_control {

// A process watched until it exits. Its handle belongs to the tree that
// holds it (process_tree.h).
struct WatchedProcess {
  DWORD id;        // 0: none to wait for (none at all, or one that others share)
  DWORD parentId;  // as the process list shows it, which tells a reused id
  // When it was created (FILETIME, 100 ns), 0 where its times cannot be read.
  unsigned long long created;
  bool exited;
  bool ended;     // by the module, at the deadline
  HANDLE handle;  // null where the process could not be opened
};

// The rights of a watch: to wait, and to tell a process's own children from
// processes that took a reused id, by its times.
const DWORD kWatchRights = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;

// Opens the process with access or, where that is refused, with SYNCHRONIZE
// alone, which is enough to wait for it. Returns null, with the last error
// of the failed open, where neither may be had or the process has gone
// (ERROR_INVALID_PARAMETER).
HANDLE OpenToWatch(DWORD id, DWORD access);

// When the process was created (0 where the platform does not say) and,
// once it has, exited (0 before); false where its times cannot be read.
bool TimesOf(HANDLE process, unsigned long long *created, unsigned long long *exited);

// A process of the list: its id and its parent's.
struct ListedProcess {
  DWORD id;
  DWORD parentId;
};

// The process list as it stands, into listed. Returns 0 or the code of a
// failed call.
DWORD ReadProcessList(GrowingList<ListedProcess> *listed);

// The longest pause before the process list is read again, where it is the
// only way to tell.
const DWORD kListPauseMs = 100;

// Reads the process list for a process watched through it: exited once the
// list no longer holds its id (with its parent, unless anyParent). Returns 0
// or the code of a failed call.
DWORD LookUpListed(WatchedProcess *process, bool anyParent);

// Pauses up to milliseconds, less once the process (when not null) exits,
// alertably or not. Returns 0 or the code of a failed wait or list read.
DWORD PauseOnProcess(WatchedProcess *process, DWORD milliseconds, bool alertable);

}  // namespace service_control

#endif
