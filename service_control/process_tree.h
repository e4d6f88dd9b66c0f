// The processes that a service's process started, and theirs, each watched
// until it exits. They are found in the process list by their parent's id,
// which a child keeps after its parent has gone; since the system hands ids
// out again, a child must also have been created while that parent ran
// (its times tell, where it may be opened to read them).
#ifndef PROCESS_TREE_H
#define PROCESS_TREE_H

#include <windows.h>

#include "deadline.h"
#include "process_watch.h"

namespace service_control {

// The most processes of one service's tree that are watched.
const DWORD kMostDescendants = 64;

struct ProcessTree {
  WatchedProcess processes[kMostDescendants];
  DWORD count;
};

// Watches the processes that root started, and theirs, as the process list
// shows them now, opening each with access (or SYNCHRONIZE). Returns 0 or
// the code of a failed call.
DWORD WatchDescendants(const WatchedProcess &root, DWORD access, ProcessTree *tree);

// Waits until every process of the tree has exited. Returns 0, WAIT_TIMEOUT
// at the deadline, or the code of a failed call.
DWORD WaitForTreeExit(ProcessTree *tree, const Deadline &deadline);

// Ends the process, unless it has exited, cannot be ended through its
// handle, or is the calling one. Returns whether it asked for that.
bool Terminate(WatchedProcess *process);

}  // namespace service_control

#endif
