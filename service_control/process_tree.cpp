#include "process_tree.h"

namespace service_control {
namespace {

unsigned long long FileTime(const FILETIME &time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// When the process was created and, once it has, exited (0 before); false
// where its times cannot be read.
bool TimesOf(HANDLE process, unsigned long long *created, unsigned long long *exited) {
  FILETIME creation, exit, kernel, user;
  if (process == NULL || !GetProcessTimes(process, &creation, &exit, &kernel, &user)) return false;
  *created = FileTime(creation);
  *exited = FileTime(exit);
  return true;
}

// Whether the process with this id is the child of parent: where both
// sets of times can be read, created after it and before its exit.
bool IsChildOf(const WatchedProcess &parent, const WatchedProcess &child) {
  unsigned long long parentCreated, parentExited, created, exited;
  if (!TimesOf(parent.handle.get(), &parentCreated, &parentExited) ||
      !TimesOf(child.handle.get(), &created, &exited)) {
    return true;
  }
  return created >= parentCreated && (parentExited == 0 || created <= parentExited);
}

// Adds to the tree the children of parent that the list shows. Returns 0 or
// the code of a failed call.
DWORD AddChildren(const WatchedProcess &parent, HANDLE list, DWORD access, ProcessTree *tree) {
  return VisitProcesses(list, [&](const PROCESSENTRY32W &entry) {
    if (entry.th32ParentProcessID != parent.id || entry.th32ProcessID == parent.id ||
        tree->count == kMostDescendants) {
      return false;
    }
    WatchedProcess *child = &tree->processes[tree->count];
    child->id = entry.th32ProcessID;
    child->parentId = parent.id;
    child->exited = false;
    child->handle.reset(OpenToWatch(child->id, access));
    // Not added where it has gone already, or is another's that took the id.
    if (child->handle.get() != NULL && IsChildOf(parent, *child)) {
      ++tree->count;
    } else {
      child->handle.reset(NULL);
    }
    return false;
  });
}

}  // namespace

DWORD WatchDescendants(const WatchedProcess &root, DWORD access, ProcessTree *tree) {
  tree->count = 0;
  if (root.id == 0) return ERROR_SUCCESS;
  KernelHandle list;
  DWORD code = SnapshotProcessList(&list);
  if (code != ERROR_SUCCESS) return code;
  code = AddChildren(root, list.get(), access, tree);
  // Then the children's own, each added behind those already found.
  for (DWORD at = 0; code == ERROR_SUCCESS && at < tree->count; ++at) {
    code = AddChildren(tree->processes[at], list.get(), access, tree);
  }
  return code;
}

DWORD WaitForTreeExit(ProcessTree *tree, const Deadline &deadline) {
  for (DWORD at = 0; at < tree->count; ++at) {
    const DWORD code = WaitForProcessExit(&tree->processes[at], deadline);
    if (code != ERROR_SUCCESS) return code;
  }
  return ERROR_SUCCESS;
}

bool Terminate(WatchedProcess *process) {
  if (process->id == 0 || process->exited || process->handle.get() == NULL ||
      process->id == GetCurrentProcessId()) {
    return false;
  }
  return TerminateProcess(process->handle.get(), ERROR_PROCESS_ABORTED) != 0;
}

}  // namespace service_control
