// What the steps of an update share: a service with a watch on its status,
// its active dependents, and a start that waits until it runs.
#ifndef UPDATE_STEPS_H
#define UPDATE_STEPS_H

#include <windows.h>

#include "deadline.h"
#include "process_tree.h"
#include "scm_session.h"
#include "service_wait.h"
#include "state_control.h"

namespace service_control {

const Access kStartRights = {SC_MANAGER_CONNECT, SERVICE_START | SERVICE_QUERY_STATUS};

// body(service, watch, arguments...) on the named service, opened with
// access, with a watch on its status. Returns its code, or that of the
// failed open.
template <typename Char, typename... Parameters, typename... Arguments>
DWORD CodeOnWatchedService(const Char *serviceName, Access access,
                           DWORD (*body)(SC_HANDLE, StatusWatch *, Parameters...),
                           Arguments... arguments) {
  // Declared first: the platform may write to it until the service's
  // handle is closed, and run the callback that it queued before then.
  StatusWatch watch = {};
  const DWORD code = WithServiceOf(serviceName, access, [&](SC_HANDLE service, SC_HANDLE manager) {
                       BeginWatch(&watch, service, manager, serviceName);
                       const DWORD result = body(service, &watch, arguments...);
                       EndWatch(&watch);
                       return Outcome{kNoStage, result};
                     }).code;
  DrainWatch(&watch);
  return code;
}

// The service's active dependents, in the platform's order (the reverse of
// their starts), into a buffer of their own. Returns 0 or the code of the
// failure.
template <typename Char>
DWORD ActiveDependents(SC_HANDLE service, HeapBuffer<typename ScmApi<Char>::Dependent> *dependents,
                       DWORD *count) {
  DWORD needed = 0;
  *count = 0;
  if (ScmApi<Char>::EnumDependents(service, NULL, 0, &needed, count)) return ERROR_SUCCESS;
  const DWORD code = GetLastError();
  if (code != ERROR_MORE_DATA) return code;
  dependents->reset(malloc(needed));
  if (dependents->get() == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  if (!ScmApi<Char>::EnumDependents(service, dependents->records(), needed, &needed, count)) {
    return GetLastError();
  }
  return ERROR_SUCCESS;
}

// Unless the service is stopped, watches its process tree from before the
// stop (the status names no process once the service has stopped), asks it
// to stop, unless it is stopping or its process has exited, and waits,
// woken by its reports and its process's exit, until it has stopped or its
// process has exited, taking the tree's rounds meanwhile. Returns 0,
// ERROR_SERVICE_REQUEST_TIMEOUT at the deadline, or the code of the failed
// call.
DWORD StopWatchingTree(SC_HANDLE service, StatusWatch *watch, ProcessTree *tree,
                       const Deadline *deadline);

// Starts the service and waits while it is start-pending, giving up as
// StartServiceAndWait does once its check point has not risen for longer
// than its wait hint, but woken by its reports, and no longer than the
// deadline. Returns 0 once it runs, or the code of the failure:
// ERROR_SERVICE_REQUEST_TIMEOUT if it was still starting at the deadline,
// ERROR_SERVICE_NOT_ACTIVE if it ended the wait in another state. With
// runningWillDo, one that runs already will do, and one that is starting
// already is waited for.
DWORD StartUntilRunning(SC_HANDLE service, StatusWatch *watch, StartCall start,
                        const Deadline *deadline, bool runningWillDo);

template <typename Char>
DWORD StartByName(const Char *serviceName, const Deadline *deadline, bool runningWillDo) {
  return CodeOnWatchedService(serviceName, kStartRights, StartUntilRunning, ScmApi<Char>::Start,
                              deadline, runningWillDo);
}

}  // namespace service_control

#endif
