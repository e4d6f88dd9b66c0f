// A service's process and, on request, every process that belongs to it,
// each watched until it has exited, and ended on request. The others are
// found in the process list: the processes that a member started, by their
// parent's id, which a child keeps after its parent has gone (since the
// system hands ids out again, a child must also have been created while
// that parent ran: its times tell, where it may be opened to read them);
// and the processes whose program lies in a folder, by their image path.
// The list is read again each round, for the whole wait, so that what a
// member starts meanwhile joins the tree. The calling process, its own
// descendants, and the processes between the service's process and it (an
// updater that the service started) are never waited for or ended.
#ifndef PROCESS_TREE_H
#define PROCESS_TREE_H

#include <windows.h>

#include "core/deadline.h"
#include "wait/process_watch.h"

namespace service_control {

// The pace of the rounds. A read of the process list costs a millisecond or
// two of the processor under Wine: two a second keep a tree's wait as cheap
// as the others.
const DWORD kRoundMs = 500;

// What belongs to a service besides its own process.
struct TreeReach {
  bool descendants;     // the processes that it started, and theirs
  const WCHAR *folder;  // and those whose program lies in this folder or below; null for none
};

// A member of the tree: a process to wait for, unless it is the caller's
// (spared), which still leads to its own children.
struct TreeMember {
  WatchedProcess process;
  bool spared;
};

// The watched processes, whose handles are released with the tree.
struct ProcessTree {
  TreeReach reach;
  WatchedProcess root;  // the service's own process
  GrowingList<TreeMember> members;
  // Processes of the list that were looked at and do not belong, so that
  // they are not opened again each round.
  GrowingList<ListedProcess> passed;
  // The processes between the service's process and the caller.
  GrowingList<DWORD> between;
  DWORD roundAt;  // when the list was last read
  explicit ProcessTree(const TreeReach &treeReach);
  ~ProcessTree();
  ProcessTree(const ProcessTree &) = delete;
  ProcessTree &operator=(const ProcessTree &) = delete;
};

// Starts to watch the process that the service's status names, unless
// others share it or it is the calling one, opening it to wait (else to
// find it in the list); then, where the reach asks for more, reads the list
// a first time. Returns 0 or the code of a failed call.
DWORD WatchTree(const SERVICE_STATUS_PROCESS &status, ProcessTree *tree);

// The milliseconds until the tree's next round; INFINITE where it has none.
DWORD UntilRoundMs(const ProcessTree &tree);

// Reads the list for a round: marks the members that have exited and adds
// the processes that belong to the tree now. Returns 0 or the code of a
// failed call.
DWORD TakeRound(ProcessTree *tree);

// TakeRound, where a round is due.
DWORD TakeRoundIfDue(ProcessTree *tree);

// Waits until no member of the tree runs, the service's process included;
// with endEachRound, ends again at each round those that run. Returns 0,
// WAIT_TIMEOUT at the deadline, or the code of a failed call.
DWORD WaitForTreeExit(ProcessTree *tree, const Deadline &deadline, bool endEachRound);

// Ends every member that runs and was opened (so that its id is its own),
// with the SeDebugPrivilege enabled for it where the caller holds it: an
// administrator may end a LocalSystem service's processes only so. Returns
// whether it ended any.
bool EndTree(ProcessTree *tree);

// The folder of the program that a service's binary path names (quoted, or
// up to the first ".exe" that a space or the end follows), into folder
// (MAX_PATH WCHARs), without its last backslash. Returns false where that
// is no folder of a drive's below its root.
bool ProgramFolderOf(const WCHAR *binaryPath, WCHAR *folder);

// Whether the folder is the Windows folder or the system folder, or lies
// below one of them: no update of a service ends the processes there.
bool IsSystemFolder(const WCHAR *folder);

// Whether a path is folder or lies below it, by the platform's comparison
// without regard to case.
bool LiesIn(const WCHAR *path, const WCHAR *folder);

// The program file of an open process (PROCESS_QUERY_LIMITED_INFORMATION),
// into image (size WCHARs). Returns false where it cannot be read.
bool ImageOf(HANDLE process, WCHAR *image, DWORD size);

}  // namespace service_control

#endif
