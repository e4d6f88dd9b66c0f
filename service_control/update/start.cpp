// The starts of an update, each within a deadline of the caller's: a
// service and the dependents that its stop stopped, and what a stop for an
// update recorded as running.
#include "core/multi_string.h"
#include "ops/config_reading.h"
#include "ops/failure_actions.h"
#include "ops/state_control.h"
#include "service_control.h"
#include "update/record.h"
#include "update/stop.h"
#include "wait/service_wait.h"
#include "wait/start_progress.h"

namespace service_control {
namespace {

const Access kStartRights = {SC_MANAGER_CONNECT, SERVICE_START | SERVICE_QUERY_STATUS};
const DWORD kRestoreRights = SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_QUERY_STATUS;

// Starts the service and waits while it is start-pending, giving up as
// StartServiceAndWait does once its check point has not risen for longer
// than its wait hint, but woken by its reports, and no longer than the
// deadline. Returns 0 once it runs, or the code of the failure:
// ERROR_SERVICE_REQUEST_TIMEOUT if it was still starting at the deadline,
// ERROR_SERVICE_NOT_ACTIVE if it ended the wait in another state. With
// runningWillDo, one that runs already will do, and one that is starting
// already is waited for.
template <typename Char>
DWORD StartUntilRunning(SC_HANDLE service, StatusWatch *watch, const Deadline &deadline,
                        bool runningWillDo) {
  if (!ScmApi<Char>::Start(service)) {
    const DWORD code = GetLastError();
    if (code != ERROR_SERVICE_ALREADY_RUNNING || !runningWillDo) return code;
  }
  SERVICE_STATUS_PROCESS status;
  StartProgress progress = {};
  for (bool first = true;; first = false) {
    ArmWatch(watch);
    if (!QueryStatusProcess(service, &status)) return GetLastError();
    if (status.dwCurrentState != SERVICE_START_PENDING) break;
    const DWORD now = GetTickCount();
    if (first) {
      progress = ProgressFrom(status, now);
    } else if (!MakesProgress(&progress, status, now)) {
      break;
    }
    const DWORD left = RemainingMs(deadline);
    if (left == 0) return ERROR_SERVICE_REQUEST_TIMEOUT;
    // Woken by its next report, or once the hint would run out without one.
    const DWORD hintLeft = status.dwWaitHint - (now - progress.risenAt);
    const DWORD code =
        PauseForChange(watch, NULL, hintLeft == INFINITE ? left : ShorterMs(left, hintLeft + 1),
                       status.dwWaitHint);
    if (code != ERROR_SUCCESS) return code;
  }
  return status.dwCurrentState == SERVICE_RUNNING ? ERROR_SUCCESS : ERROR_SERVICE_NOT_ACTIVE;
}

template <typename Char>
DWORD StartByName(const Char *serviceName, const Deadline &deadline, bool runningWillDo) {
  WatchedService starting;
  const Outcome opened = OpenWatched(serviceName, kStartRights, &starting);
  if (opened.code != ERROR_SUCCESS) return opened.code;
  return StartUntilRunning<Char>(starting.opened.service.get(), &starting.watch, deadline,
                                 runningWillDo);
}

// Starts the services of the list from its last name to its first. A
// dependent that runs already, started as another's dependency, will do.
template <typename Char>
DWORD StartInReverse(const Char *list, const Deadline &deadline) {
  for (const Char *end = ListEnd(list); end != list;) {
    const Char *name = NameBefore(list, end);
    const DWORD code = StartByName(name, deadline, true);
    if (code != ERROR_SUCCESS) return code;
    end = name;
  }
  return ERROR_SUCCESS;
}

template <typename Char>
DWORD StartWithDependents(const Char *serviceName, const Char *dependents, DWORD timeoutMs) {
  const Deadline deadline = DeadlineIn(timeoutMs);
  const DWORD code = StartByName(serviceName, deadline, false);
  if (code != ERROR_SUCCESS || dependents == NULL) return CodeResult(code);
  return CodeResult(StartInReverse(dependents, deadline));
}

// Starts a recorded service until it runs. One that ran although disabled
// (an administrator's way to keep it from starting again) cannot be started
// while disabled: it has a demand start for its start only.
template <typename Char>
DWORD StartRecorded(SC_HANDLE service, StatusWatch *watch, const Deadline &deadline,
                    DWORD startType) {
  if (startType != SERVICE_DISABLED) {
    return StartUntilRunning<Char>(service, watch, deadline, true);
  }
  DWORD code = ChangeStartType<Char>(service, SERVICE_DEMAND_START);
  if (code == ERROR_SUCCESS) code = StartUntilRunning<Char>(service, watch, deadline, true);
  const DWORD disabled = ChangeStartType<Char>(service, SERVICE_DISABLED);
  return code != ERROR_SUCCESS ? code : disabled;
}

// Puts back the recorded start type and, where they were kept, the failure
// actions, which take the right to start it for a restart action.
template <typename Char>
DWORD PutBack(SC_HANDLE manager, const RecordedService<Char> &service) {
  const ServiceHandle handle(ScmApi<Char>::OpenByName(manager, service.name, kRestoreRights));
  if (handle.get() == NULL) return GetLastError();
  const DWORD code = ChangeStartType<Char>(handle.get(), service.startType);
  const FailureActions &read = service.failureActions.read;
  if (code != ERROR_SUCCESS || service.failureActions.kept != ActionsKept::kKept) return code;
  return ChangeFailureActions<wchar_t>(handle.get(), read.resetSeconds, read.actions, read.count,
                                       read.onNonCrashFailures);
}

// Runs step on each recorded service, opened and watched, in the order of
// their starts: the service first, then its dependents in the reverse of
// their stop.
template <typename Char, typename Step>
DWORD ForEachToStart(const RecordedService<Char> *services, DWORD count, Step step) {
  for (DWORD n = 0; n < count; ++n) {
    const RecordedService<Char> &service = services[n == 0 ? 0 : count - n];
    WatchedService watched;
    DWORD code = OpenWatched(service.name, {SC_MANAGER_CONNECT, kRestoreRights}, &watched).code;
    if (code == ERROR_SUCCESS) code = step(service, watched.opened.service.get(), &watched.watch);
    if (code != ERROR_SUCCESS) return code;
  }
  return ERROR_SUCCESS;
}

// Each opened, and each stop that an updater's end cut short finished,
// before anything changes; then what was recorded put back; then what ran
// started, with a deadline of its own.
template <typename Char>
DWORD RestoreRecorded(SC_HANDLE manager, const RecordedService<Char> *services, DWORD count,
                      DWORD flags, DWORD timeoutMs) {
  for (DWORD i = 0; i < count; ++i) {
    const ServiceHandle handle(ScmApi<Char>::OpenByName(manager, services[i].name, kRestoreRights));
    if (handle.get() == NULL) return GetLastError();
  }
  const Deadline stops = DeadlineIn(timeoutMs);
  const bool kill = (flags & SERVICE_UPDATE_KILL_AT_DEADLINE) != 0;
  DWORD code = ForEachToStart(
      services, count, [&](const RecordedService<Char> &, SC_HANDLE service, StatusWatch *watch) {
        return FinishStop(service, watch, stops, kill);
      });
  for (DWORD i = 0; code == ERROR_SUCCESS && i < count; ++i) {
    code = PutBack(manager, services[i]);
  }
  if (code != ERROR_SUCCESS) return code;
  const Deadline starts = DeadlineIn(timeoutMs);
  return ForEachToStart(
      services, count,
      [&](const RecordedService<Char> &service, SC_HANDLE handle, StatusWatch *watch) {
        return service.ran ? StartRecorded<Char>(handle, watch, starts, service.startType)
                           : ERROR_SUCCESS;
      });
}

template <typename Char>
DWORD RestoreAfterUpdate(const Char *record, DWORD timeoutMs) {
  if (record == NULL) return CodeResult(ERROR_INVALID_PARAMETER);
  HeapBuffer<RecordedService<Char>> services;
  DWORD count = 0, flags = 0;
  const DWORD code = ReadRecord(record, &services, &count, &flags);
  if (code != ERROR_SUCCESS) return CodeResult(code);
  ServiceHandle manager;
  const Outcome opened = OpenManager<Char>(SC_MANAGER_CONNECT, &manager);
  if (opened.code != ERROR_SUCCESS) return CodeResult(opened.code);
  return CodeResult(RestoreRecorded(manager.get(), services.records(), count, flags, timeoutMs));
}

}  // namespace
}  // namespace service_control

using namespace service_control;

extern "C" {

DWORD StartServiceWithDependents(const char *serviceName, const char *dependents, DWORD timeoutMs) {
  return StartWithDependents(serviceName, dependents, timeoutMs);
}
DWORD StartServiceWithDependentsW(const wchar_t *serviceName, const wchar_t *dependents,
                                  DWORD timeoutMs) {
  return StartWithDependents(serviceName, dependents, timeoutMs);
}

DWORD RestoreServicesAfterUpdate(const char *record, DWORD timeoutMs) {
  return RestoreAfterUpdate(record, timeoutMs);
}
DWORD RestoreServicesAfterUpdateW(const wchar_t *record, DWORD timeoutMs) {
  return RestoreAfterUpdate(record, timeoutMs);
}

}  // extern "C"
