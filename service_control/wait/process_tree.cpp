#include "wait/process_tree.h"

#include "core/text.h"

namespace service_control {
namespace {

// The most characters of a program's path.
const DWORD kLongestImage = 32768;

bool Reaches(const TreeReach &reach) { return reach.descendants || reach.folder != NULL; }

const ListedProcess *Find(const GrowingList<ListedProcess> &list, DWORD id) {
  for (size_t i = 0; i < list.count(); ++i) {
    if (list[i].id == id) return &list[i];
  }
  return NULL;
}

bool Holds(const GrowingList<ListedProcess> &list, const ListedProcess &process) {
  const ListedProcess *found = Find(list, process.id);
  return found != NULL && found->parentId == process.parentId;
}

// Whether the process descends from ancestor, as the list's parent ids lead.
bool DescendsFrom(const GrowingList<ListedProcess> &list, const ListedProcess &process,
                  DWORD ancestor) {
  DWORD parent = process.parentId;
  for (size_t steps = 0; steps < list.count(); ++steps) {
    if (parent == ancestor) return true;
    const ListedProcess *up = Find(list, parent);
    if (up == NULL || up->id == up->parentId) return false;
    parent = up->parentId;
  }
  return false;
}

// Wine dates a process once its loader runs: one whose start the kill of
// its parent cut short may be dated up to this long after that end.
const DWORD kLateStartMs = 1000;

// Whether a process created then is a child of parent: where the times of
// both can be read, created while parent ran, or just after it was ended
// where no other process holds its id since.
bool CreatedWhileRan(const WatchedProcess &parent, unsigned long long created,
                     const GrowingList<ListedProcess> &list) {
  unsigned long long parentCreated, parentExited;
  if (created == 0 || !TimesOf(parent.handle, &parentCreated, &parentExited)) return true;
  if (created < parentCreated) return false;
  if (parentExited == 0 || created <= parentExited) return true;
  return parent.ended && created - parentExited <= kLateStartMs * 10000ull &&
         Find(list, parent.id) == NULL;
}

template <typename Visit>
bool AnyProcess(const ProcessTree &tree, Visit visit) {
  if (tree.root.id != 0 && visit(tree.root)) return true;
  for (size_t i = 0; i < tree.members.count(); ++i) {
    if (visit(tree.members[i].process)) return true;
  }
  return false;
}

// Whether the process of the list is one that the tree knows already: the
// caller, a member that runs, or one looked at before.
bool Knows(const ProcessTree &tree, const ListedProcess &listed) {
  if (listed.id == 0 || listed.id == GetCurrentProcessId() || Holds(tree.passed, listed)) {
    return true;
  }
  return AnyProcess(tree, [&](const WatchedProcess &process) {
    return process.id == listed.id && process.parentId == listed.parentId && !process.exited;
  });
}

bool IsBetween(const ProcessTree &tree, DWORD id) {
  for (size_t i = 0; i < tree.between.count(); ++i) {
    if (tree.between[i] == id) return true;
  }
  return false;
}

// Whether the program lies under the Windows folder: a process of the
// system's that a member started (Wine's desktop, explorer.exe, which stays;
// a console's host; an error report) holds none of the service's files.
bool IsSystemProgram(const WCHAR *image) {
  const WCHAR *end = image;
  for (const WCHAR *at = image; *at != 0; ++at) {
    if (*at == '\\') end = at;
  }
  WCHAR folder[MAX_PATH];
  const size_t length = static_cast<size_t>(end - image);
  if (length == 0 || length >= MAX_PATH) return false;
  for (size_t at = 0; at < length; ++at) folder[at] = image[at];
  folder[length] = 0;
  return IsSystemFolder(folder);
}

// Opens the process of the list and adds it to the tree where it belongs:
// a child of a member, or a program of the folder that the caller did not
// start; otherwise it is passed. A child that runs a program of the
// system's, or lies between the service's process and the caller, is
// spared: never waited for or ended, it still leads to its own children.
// Returns 0 or ERROR_NOT_ENOUGH_MEMORY.
DWORD Consider(ProcessTree *tree, const GrowingList<ListedProcess> &list,
               const ListedProcess &listed, WCHAR *image, bool *added) {
  const bool parentInTree =
      tree->reach.descendants && AnyProcess(*tree, [&](const WatchedProcess &process) {
        return process.id == listed.parentId;
      });
  if (!parentInTree && tree->reach.folder == NULL) return ERROR_SUCCESS;
  KernelHandle handle(OpenToWatch(listed.id, kWatchRights));
  // Gone since the list was read.
  if (handle.get() == NULL && GetLastError() == ERROR_INVALID_PARAMETER) return ERROR_SUCCESS;
  unsigned long long created = 0, exited;
  TimesOf(handle.get(), &created, &exited);
  const bool known = created != 0 && AnyProcess(*tree, [&](const WatchedProcess &process) {
                       return process.id == listed.id && process.created == created;
                     });
  const bool child =
      parentInTree && AnyProcess(*tree, [&](const WatchedProcess &process) {
        return process.id == listed.parentId && CreatedWhileRan(process, created, list);
      });
  const bool imaged = ImageOf(handle.get(), image, kLongestImage);
  const bool inFolder = imaged && tree->reach.folder != NULL && LiesIn(image, tree->reach.folder) &&
                        !DescendsFrom(list, listed, GetCurrentProcessId());
  if (known || !(child || inFolder)) {
    return tree->passed.Append(listed) ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
  }
  const TreeMember member = {{listed.id, listed.parentId, created, false, false, handle.get()},
                             IsBetween(*tree, listed.id) || (imaged && IsSystemProgram(image))};
  if (!tree->members.Append(member)) return ERROR_NOT_ENOUGH_MEMORY;
  handle.release();
  *added = true;
  return ERROR_SUCCESS;
}

// Marks the process exited where it has: by its handle, or by the list.
DWORD MarkIfExited(WatchedProcess *process, const GrowingList<ListedProcess> &list) {
  if (process->id == 0 || process->exited) return ERROR_SUCCESS;
  if (process->handle == NULL) {
    process->exited = !Holds(list, {process->id, process->parentId});
    return ERROR_SUCCESS;
  }
  const DWORD waited = WaitForSingleObject(process->handle, 0);
  if (waited == WAIT_FAILED) return GetLastError();
  process->exited = waited == WAIT_OBJECT_0;
  return ERROR_SUCCESS;
}

// The processes between the service's process and the caller, which the
// service started (an updater, and what started it), as the list leads
// from the caller up to the service's process; none where it does not.
DWORD FindBetween(ProcessTree *tree, const GrowingList<ListedProcess> &list) {
  const ListedProcess *up = Find(list, GetCurrentProcessId());
  for (size_t steps = 0; up != NULL && steps < list.count(); ++steps) {
    if (up->parentId == tree->root.id) return ERROR_SUCCESS;
    if (!tree->between.Append(up->parentId)) return ERROR_NOT_ENOUGH_MEMORY;
    up = Find(list, up->parentId);
  }
  tree->between.Clear();
  return ERROR_SUCCESS;
}

// Reads the list: marks the members that have exited, then adds what
// belongs now, again until nothing more does (a new member's own children).
DWORD ReadRound(ProcessTree *tree, bool first) {
  tree->roundAt = GetTickCount();
  GrowingList<ListedProcess> list;
  DWORD code = ReadProcessList(&list);
  if (code != ERROR_SUCCESS) return code;
  if (first && tree->root.id != 0) {
    const ListedProcess *root = Find(list, tree->root.id);
    if (root != NULL) tree->root.parentId = root->parentId;
    if (tree->root.handle == NULL) tree->root.exited = root == NULL;
    code = FindBetween(tree, list);
  }
  if (code == ERROR_SUCCESS) code = MarkIfExited(&tree->root, list);
  for (size_t i = 0; code == ERROR_SUCCESS && i < tree->members.count(); ++i) {
    code = MarkIfExited(&tree->members[i].process, list);
  }
  HeapBuffer<WCHAR> image(kLongestImage * sizeof(WCHAR));
  if (image.get() == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  for (bool added = true; code == ERROR_SUCCESS && added;) {
    added = false;
    for (size_t i = 0; code == ERROR_SUCCESS && i < list.count(); ++i) {
      if (!Knows(*tree, list[i])) code = Consider(tree, list, list[i], image.records(), &added);
    }
  }
  return code;
}

// The first member that runs and is to be waited for: one with a handle,
// where there is one.
WatchedProcess *FirstRunning(ProcessTree *tree) {
  WatchedProcess *listed = NULL;
  for (size_t i = 0; i <= tree->members.count(); ++i) {
    WatchedProcess *process = i == 0 ? &tree->root : &tree->members[i - 1].process;
    if (process->id == 0 || process->exited || (i != 0 && tree->members[i - 1].spared)) continue;
    if (process->handle != NULL) return process;
    if (listed == NULL) listed = process;
  }
  return listed;
}

// Ends the process through a handle of its own, for the kill alone.
bool End(WatchedProcess *process) {
  if (process->id == 0 || process->exited || process->handle == NULL) return false;
  // The handle held keeps the id from being handed out again.
  const KernelHandle ending(OpenProcess(PROCESS_TERMINATE, FALSE, process->id));
  const bool ended =
      ending.get() != NULL && TerminateProcess(ending.get(), ERROR_PROCESS_ABORTED) != 0;
  process->ended = process->ended || ended;
  return ended;
}

// Runs act with the SeDebugPrivilege enabled, where the caller holds it, on
// a token of this thread's own, and then leaves the thread as it was. A
// thread that impersonates already keeps its token as it is.
template <typename Act>
void WithDebugPrivilege(Act act) {
  HANDLE token = NULL;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    CloseHandle(token);
    act();
    return;
  }
  const bool impersonates = ImpersonateSelf(SecurityImpersonation) != 0;
  if (impersonates && OpenThreadToken(GetCurrentThread(), TOKEN_ADJUST_PRIVILEGES, TRUE, &token)) {
    const KernelHandle own(token);
    TOKEN_PRIVILEGES debug = {};
    debug.PrivilegeCount = 1;
    debug.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(NULL, L"SeDebugPrivilege", &debug.Privileges[0].Luid)) {
      AdjustTokenPrivileges(own.get(), FALSE, &debug, 0, NULL, NULL);
    }
  }
  act();
  if (impersonates) RevertToSelf();
}

}  // namespace

ProcessTree::ProcessTree(const TreeReach &treeReach) : reach(treeReach), root(), roundAt(0) {}

ProcessTree::~ProcessTree() {
  for (size_t i = 0; i < members.count(); ++i) KernelHandle close(members[i].process.handle);
  KernelHandle close(root.handle);
}

DWORD WatchTree(const SERVICE_STATUS_PROCESS &status, ProcessTree *tree) {
  if ((status.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) == 0 && status.dwProcessId != 0 &&
      status.dwProcessId != GetCurrentProcessId()) {
    WatchedProcess *root = &tree->root;
    root->id = status.dwProcessId;
    // Only a tree's members need their times read.
    root->handle = OpenToWatch(root->id, Reaches(tree->reach) ? kWatchRights : SYNCHRONIZE);
    // No such process: it has exited already.
    root->exited = root->handle == NULL && GetLastError() == ERROR_INVALID_PARAMETER;
    unsigned long long exited;
    if (Reaches(tree->reach)) TimesOf(root->handle, &root->created, &exited);
    if (!Reaches(tree->reach) && root->handle == NULL && !root->exited) {
      return LookUpListed(root, true);
    }
  }
  return Reaches(tree->reach) ? ReadRound(tree, true) : ERROR_SUCCESS;
}

DWORD UntilRoundMs(const ProcessTree &tree) {
  if (!Reaches(tree.reach)) return INFINITE;
  const DWORD since = GetTickCount() - tree.roundAt;
  return since >= kRoundMs ? 0 : kRoundMs - since;
}

DWORD TakeRound(ProcessTree *tree) { return ReadRound(tree, false); }

DWORD TakeRoundIfDue(ProcessTree *tree) {
  return UntilRoundMs(*tree) == 0 ? TakeRound(tree) : ERROR_SUCCESS;
}

DWORD WaitForTreeExit(ProcessTree *tree, const Deadline &deadline, bool endEachRound) {
  for (bool confirmed = false;;) {
    WatchedProcess *running = FirstRunning(tree);
    if (running == NULL) {
      // The last one has gone: once the list shows nothing new, none is left.
      if (!Reaches(tree->reach) || confirmed) return ERROR_SUCCESS;
      const DWORD code = TakeRound(tree);
      if (code != ERROR_SUCCESS) return code;
      confirmed = true;
      continue;
    }
    confirmed = false;
    const DWORD left = RemainingMs(deadline);
    if (left == 0) return WAIT_TIMEOUT;
    const DWORD pause = ShorterMs(left, UntilRoundMs(*tree));
    // One that only the list shows is looked for at the rounds.
    if (Reaches(tree->reach) && running->handle == NULL) {
      Sleep(pause);
    } else {
      const DWORD code = PauseOnProcess(running, pause, false);
      if (code != ERROR_SUCCESS) return code;
    }
    if (UntilRoundMs(*tree) != 0) continue;
    const DWORD code = TakeRound(tree);
    if (code != ERROR_SUCCESS) return code;
    if (endEachRound) EndTree(tree);
  }
}

bool EndTree(ProcessTree *tree) {
  bool ended = false;
  if (FirstRunning(tree) == NULL) return false;
  WithDebugPrivilege([&] {
    ended = End(&tree->root);
    for (size_t i = 0; i < tree->members.count(); ++i) {
      if (!tree->members[i].spared) ended = End(&tree->members[i].process) || ended;
    }
  });
  return ended;
}

bool ProgramFolderOf(const WCHAR *binaryPath, WCHAR *folder) {
  const bool quoted = binaryPath[0] == '"';
  const WCHAR *program = quoted ? binaryPath + 1 : binaryPath;
  size_t length = 0;
  if (quoted) {
    while (program[length] != 0 && program[length] != '"') ++length;
  } else {
    // Up to the first ".exe" that ends a word, else the first word.
    size_t word = 0;
    while (program[word] != 0 && program[word] != ' ') ++word;
    for (size_t at = 0; program[at] != 0 && length == 0; ++at) {
      const bool exe = at >= 3 && program[at - 3] == '.' && (program[at - 2] | 0x20) == 'e' &&
                       (program[at - 1] | 0x20) == 'x' && (program[at] | 0x20) == 'e';
      if (exe && (program[at + 1] == 0 || program[at + 1] == ' ')) length = at + 1;
    }
    if (length == 0) length = word;
  }
  size_t cut = 0;
  for (size_t at = 0; at < length; ++at) {
    if (program[at] == '\\') cut = at;
  }
  const bool drive = length > 3 && program[1] == ':' && program[2] == '\\';
  // A program at a drive's root would make the whole drive its folder.
  if (!drive || cut <= 2 || cut >= MAX_PATH) return false;
  for (size_t at = 0; at < cut; ++at) folder[at] = program[at];
  folder[cut] = 0;
  return true;
}

bool IsSystemFolder(const WCHAR *folder) {
  WCHAR system[MAX_PATH];
  const UINT windows = GetWindowsDirectoryW(system, MAX_PATH);
  if (windows != 0 && windows < MAX_PATH && LiesIn(folder, system)) return true;
  const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
  return systemLength != 0 && systemLength < MAX_PATH && LiesIn(folder, system);
}

bool LiesIn(const WCHAR *path, const WCHAR *folder) {
  const int length = static_cast<int>(TextLength(folder));
  if (static_cast<int>(TextLength(path)) < length) return false;
  if (path[length] != 0 && path[length] != '\\') return false;
  return CompareStringOrdinal(path, length, folder, length, TRUE) == CSTR_EQUAL;
}

bool ImageOf(HANDLE process, WCHAR *image, DWORD size) {
  return process != NULL && QueryFullProcessImageNameW(process, 0, image, &size) != 0;
}

}  // namespace service_control
