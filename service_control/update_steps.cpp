// The steps of an update, each within a deadline of the caller's: stop a
// service until its process is gone, delete it until it is gone, and stop
// and start it with the services that depend on it.
#include "update_steps.h"

#include "process_watch.h"
#include "service_control.h"

namespace service_control {
namespace {

// Enumerations of the dependents, for those that start while the others stop.
const DWORD kEnumerations = 3;

const Access kStopRights = {SC_MANAGER_CONNECT, SERVICE_STOP | SERVICE_QUERY_STATUS};
const Access kStopWithDependentsRights = {
    SC_MANAGER_CONNECT, SERVICE_ENUMERATE_DEPENDENTS | SERVICE_STOP | SERVICE_QUERY_STATUS};
const Access kDeleteRights = {SC_MANAGER_CONNECT, DELETE};
const Access kProbeRights = {SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS};

// Stops the service unless it is stopped, without a second stop for one
// that is stopping, and waits until it is stopped and its own process has
// exited. A process that has exited without reporting that the service
// stopped (a crash, a kill) is as good: its program can be replaced, though
// the manager may show the service stop-pending still (Wine never notices).
DWORD StopUntilExited(SC_HANDLE service, StatusWatch *watch, const Deadline *deadline) {
  ProcessTree tree({false, NULL});
  const DWORD code = StopWatchingTree(service, watch, &tree, deadline);
  return code != ERROR_SUCCESS ? code : WaitForTreeExit(&tree, *deadline, false);
}

template <typename Char>
DWORD StopAndWaitForExit(const Char *serviceName, DWORD timeoutMs) {
  const Deadline deadline = DeadlineIn(timeoutMs);
  return CodeResult(CodeOnWatchedService(serviceName, kStopRights, StopUntilExited, &deadline));
}

template <typename Char>
DWORD DeleteUntilGone(const Char *serviceName, DWORD timeoutMs) {
  const Deadline deadline = DeadlineIn(timeoutMs);
  // One marked for deletion already is waited for all the same.
  const Outcome deleted = WithService(serviceName, kDeleteRights, [](SC_HANDLE service) {
    if (DeleteService(service)) return Outcome{kNoStage, ERROR_SUCCESS};
    const DWORD code = GetLastError();
    return Outcome{kNoStage, code == ERROR_SERVICE_MARKED_FOR_DELETE ? ERROR_SUCCESS : code};
  });
  // Not installed, or no longer: gone.
  if (deleted.code == ERROR_SERVICE_DOES_NOT_EXIST) return ERROR_SUCCESS;
  if (deleted.code != ERROR_SUCCESS) return CodeResult(deleted.code);
  // Its own handles are closed: it goes once nobody else holds one. No
  // notification tells that to a waiter without a handle, which would keep
  // it: it is looked for at a growing pace.
  for (DWORD pace = kFirstPaceMs;; pace = NextPaceMs(pace, INFINITE)) {
    const Outcome opened = WithService(serviceName, kProbeRights, [](SC_HANDLE) {
      return Outcome{kNoStage, ERROR_SUCCESS};
    });
    if (opened.code == ERROR_SERVICE_DOES_NOT_EXIST) return CodeResult(ERROR_SUCCESS);
    if (opened.code != ERROR_SUCCESS) return CodeResult(opened.code);
    const DWORD left = RemainingMs(deadline);
    if (left == 0) return CodeResult(ERROR_SERVICE_MARKED_FOR_DELETE);
    Sleep(ShorterMs(pace, left));
  }
}

template <typename Char>
DWORD StopByName(const Char *serviceName, const Deadline *deadline) {
  return CodeOnWatchedService(serviceName, kStopRights, StopUntilExited, deadline);
}

// Stops the service's active dependents, each until its process is gone,
// then the service itself, adding each dependent stopped to the list in
// stopped (size characters), closed by two zeros.
template <typename Char>
DWORD StopDependentsThenService(SC_HANDLE service, StatusWatch *watch, const Deadline *deadline,
                                Char *stopped, DWORD size) {
  size_t used = 0;
  for (DWORD enumeration = 0; enumeration < kEnumerations; ++enumeration) {
    HeapBuffer<typename ScmApi<Char>::Dependent> dependents;
    DWORD count;
    DWORD code = ActiveDependents<Char>(service, &dependents, &count);
    if (code != ERROR_SUCCESS) return code;
    // Every name, and the list's closing zero, must fit before any is stopped.
    size_t needed = used + 1;
    for (DWORD i = 0; i < count; ++i) {
      needed += TextLength(dependents.records()[i].lpServiceName) + 1;
    }
    if (needed > size) return ERROR_INSUFFICIENT_BUFFER;
    if (used == 0) stopped[0] = stopped[1] = 0;
    for (DWORD i = 0; i < count; ++i) {
      const Char *name = dependents.records()[i].lpServiceName;
      code = StopByName(name, deadline);
      if (code != ERROR_SUCCESS) return code;
      const size_t length = TextLength(name);
      for (size_t at = 0; at <= length; ++at) stopped[used + at] = name[at];
      used += length + 1;
      stopped[used] = 0;
    }
    code = StopUntilExited(service, watch, deadline);
    if (code != ERROR_DEPENDENT_SERVICES_RUNNING) return code;
  }
  return ERROR_DEPENDENT_SERVICES_RUNNING;
}

template <typename Char>
DWORD StopWithDependents(const Char *serviceName, DWORD timeoutMs, Char *stopped, DWORD size) {
  if (serviceName == NULL || stopped == NULL) return CodeResult(ERROR_INVALID_PARAMETER);
  if (size < 2) return CodeResult(ERROR_INSUFFICIENT_BUFFER);
  const Deadline deadline = DeadlineIn(timeoutMs);
  return CodeResult(CodeOnWatchedService(serviceName, kStopWithDependentsRights,
                                         StopDependentsThenService<Char>, &deadline, stopped,
                                         size));
}

// Starts the services of the list, which an empty name closes, from its
// last name to its first, by a loop: the list's length is the caller's. A
// dependent that runs already, started as another's dependency, will do.
template <typename Char>
DWORD StartInReverse(const Char *list, const Deadline *deadline) {
  const Char *end = list;
  while (*end != 0) end += TextLength(end) + 1;
  while (end != list) {
    // Back from the zero of the name before end to that name's start.
    const Char *name = end - 1;
    while (name != list && name[-1] != 0) --name;
    const DWORD code = StartByName(name, deadline, true);
    if (code != ERROR_SUCCESS) return code;
    end = name;
  }
  return ERROR_SUCCESS;
}

template <typename Char>
DWORD StartWithDependents(const Char *serviceName, const Char *dependents, DWORD timeoutMs) {
  const Deadline deadline = DeadlineIn(timeoutMs);
  const DWORD code = StartByName(serviceName, &deadline, false);
  if (code != ERROR_SUCCESS || dependents == NULL) return CodeResult(code);
  return CodeResult(StartInReverse(dependents, &deadline));
}

}  // namespace

DWORD StopWatchingTree(SC_HANDLE service, StatusWatch *watch, ProcessTree *tree,
                       const Deadline *deadline) {
  SERVICE_STATUS_PROCESS status;
  if (!QueryStatusProcess(service, &status)) return GetLastError();
  DWORD code = WatchTree(status, tree);
  if (code != ERROR_SUCCESS || status.dwCurrentState == SERVICE_STOPPED || tree->root.exited) {
    return code;
  }
  SERVICE_STATUS stopping;
  if (status.dwCurrentState != SERVICE_STOP_PENDING &&
      !ControlService(service, SERVICE_CONTROL_STOP, &stopping)) {
    // One that stopped meanwhile is what was asked for.
    code = GetLastError();
    if (code != ERROR_SERVICE_NOT_ACTIVE) return code;
  }
  for (;;) {
    ArmWatch(watch);
    if (!QueryStatusProcess(service, &status)) return GetLastError();
    if (status.dwCurrentState == SERVICE_STOPPED || tree->root.exited) return ERROR_SUCCESS;
    const DWORD left = RemainingMs(*deadline);
    if (left == 0) return ERROR_SERVICE_REQUEST_TIMEOUT;
    code =
        PauseForChange(watch, &tree->root, ShorterMs(left, UntilRoundMs(*tree)), status.dwWaitHint);
    if (code == ERROR_SUCCESS) code = TakeRoundIfDue(tree);
    if (code != ERROR_SUCCESS) return code;
  }
}

DWORD StartUntilRunning(SC_HANDLE service, StatusWatch *watch, StartCall start,
                        const Deadline *deadline, bool runningWillDo) {
  if (!start(service)) {
    const DWORD code = GetLastError();
    if (code != ERROR_SERVICE_ALREADY_RUNNING || !runningWillDo) return code;
  }
  SERVICE_STATUS_PROCESS status;
  DWORD risenAt = 0;
  DWORD highest = 0;
  for (bool first = true;; first = false) {
    ArmWatch(watch);
    if (!QueryStatusProcess(service, &status)) return GetLastError();
    if (status.dwCurrentState != SERVICE_START_PENDING) break;
    const DWORD now = GetTickCount();
    if (first || status.dwCheckPoint > highest) {
      risenAt = now;
      highest = status.dwCheckPoint;
    } else if (now - risenAt > status.dwWaitHint) {
      break;
    }
    const DWORD left = RemainingMs(*deadline);
    if (left == 0) return ERROR_SERVICE_REQUEST_TIMEOUT;
    // Woken by its next report, or once the hint would run out without one.
    const DWORD hintLeft = status.dwWaitHint - (now - risenAt);
    const DWORD code =
        PauseForChange(watch, NULL, hintLeft == INFINITE ? left : ShorterMs(left, hintLeft + 1),
                       status.dwWaitHint);
    if (code != ERROR_SUCCESS) return code;
  }
  return status.dwCurrentState == SERVICE_RUNNING ? ERROR_SUCCESS : ERROR_SERVICE_NOT_ACTIVE;
}

}  // namespace service_control

using namespace service_control;

extern "C" {

DWORD StopServiceAndWaitForExit(const char *serviceName, DWORD timeoutMs) {
  return StopAndWaitForExit(serviceName, timeoutMs);
}
DWORD StopServiceAndWaitForExitW(const wchar_t *serviceName, DWORD timeoutMs) {
  return StopAndWaitForExit(serviceName, timeoutMs);
}

DWORD DeleteServiceAndWaitGone(const char *serviceName, DWORD timeoutMs) {
  return DeleteUntilGone(serviceName, timeoutMs);
}
DWORD DeleteServiceAndWaitGoneW(const wchar_t *serviceName, DWORD timeoutMs) {
  return DeleteUntilGone(serviceName, timeoutMs);
}

DWORD StopServiceWithDependents(const char *serviceName, DWORD timeoutMs, char *stoppedDependents,
                                DWORD size) {
  return StopWithDependents(serviceName, timeoutMs, stoppedDependents, size);
}
DWORD StopServiceWithDependentsW(const wchar_t *serviceName, DWORD timeoutMs,
                                 wchar_t *stoppedDependents, DWORD size) {
  return StopWithDependents(serviceName, timeoutMs, stoppedDependents, size);
}

DWORD StartServiceWithDependents(const char *serviceName, const char *dependents, DWORD timeoutMs) {
  return StartWithDependents(serviceName, dependents, timeoutMs);
}
DWORD StartServiceWithDependentsW(const wchar_t *serviceName, const wchar_t *dependents,
                                  DWORD timeoutMs) {
  return StartWithDependents(serviceName, dependents, timeoutMs);
}

}  // extern "C"
