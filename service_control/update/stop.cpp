// The stops of an update, each within a deadline of the caller's: a service
// until its process has exited; its dependents first, then the service; and
// for an update, what runs, recorded, held disabled, and stopped until no
// process of it is left, ended at the deadline on request.
#include "update/stop.h"

#include "core/multi_string.h"
#include "ops/config_reading.h"
#include "ops/failure_actions.h"
#include "ops/state_control.h"
#include "service_control.h"
#include "update/record.h"
#include "wait/process_tree.h"
#include "wait/service_wait.h"

namespace service_control {
namespace {

// Enumerations of the dependents, for those that start while the others stop.
const DWORD kEnumerations = 3;

const Access kStopRights = {SC_MANAGER_CONNECT, SERVICE_STOP | SERVICE_QUERY_STATUS};
const Access kStopWithDependentsRights = {
    SC_MANAGER_CONNECT, SERVICE_ENUMERATE_DEPENDENTS | SERVICE_STOP | SERVICE_QUERY_STATUS};
// What the stop for an update asks of each service; SERVICE_CHANGE_CONFIG
// too where it holds them disabled.
const DWORD kStopForUpdateRights = SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | SERVICE_STOP;

// Unless the service is stopped, watches its process tree from before the
// stop (the status names no process once the service has stopped), asks it
// to stop, unless it is stopping or its process has exited, and waits,
// woken by its reports and its process's exit, until it has stopped or its
// process has exited, taking the tree's rounds meanwhile. Returns 0,
// ERROR_SERVICE_REQUEST_TIMEOUT at the deadline, or the code of the failed
// call.
DWORD StopUntilStopped(SC_HANDLE service, StatusWatch *watch, ProcessTree *tree,
                       const Deadline &deadline) {
  SERVICE_STATUS_PROCESS status;
  if (!QueryStatusProcess(service, &status)) return GetLastError();
  const bool stopping = status.dwCurrentState == SERVICE_STOP_PENDING;
  DWORD code = WatchTree(status, tree);
  if (code != ERROR_SUCCESS || status.dwCurrentState == SERVICE_STOPPED || tree->root.exited) {
    return code;
  }
  SERVICE_STATUS reported;
  if (!stopping && !ControlService(service, SERVICE_CONTROL_STOP, &reported)) {
    // One that stopped meanwhile is what was asked for.
    code = GetLastError();
    if (code != ERROR_SERVICE_NOT_ACTIVE) return code;
  }
  for (;;) {
    ArmWatch(watch);
    if (!QueryStatusProcess(service, &status)) return GetLastError();
    if (status.dwCurrentState == SERVICE_STOPPED || tree->root.exited) return ERROR_SUCCESS;
    const DWORD left = RemainingMs(deadline);
    if (left == 0) return ERROR_SERVICE_REQUEST_TIMEOUT;
    code =
        PauseForChange(watch, &tree->root, ShorterMs(left, UntilRoundMs(*tree)), status.dwWaitHint);
    if (code == ERROR_SUCCESS) code = TakeRoundIfDue(tree);
    if (code != ERROR_SUCCESS) return code;
  }
}

// Stops the service unless it is stopped, without a second stop for one
// that is stopping, and waits until it is stopped and its own process has
// exited. A process that has exited without reporting that the service
// stopped (a crash, a kill) is as good: its program can be replaced, though
// the manager may show the service stop-pending still (Wine never notices).
DWORD StopUntilExited(SC_HANDLE service, StatusWatch *watch, const Deadline &deadline) {
  ProcessTree tree({false, NULL});
  const DWORD code = StopUntilStopped(service, watch, &tree, deadline);
  return code != ERROR_SUCCESS ? code : WaitForTreeExit(&tree, deadline, false);
}

template <typename Char>
DWORD StopByName(const Char *serviceName, const Deadline &deadline) {
  WatchedService stopping;
  const Outcome opened = OpenWatched(serviceName, kStopRights, &stopping);
  if (opened.code != ERROR_SUCCESS) return opened.code;
  return StopUntilExited(stopping.opened.service.get(), &stopping.watch, deadline);
}

template <typename Char>
DWORD StopAndWaitForExit(const Char *serviceName, DWORD timeoutMs) {
  return CodeResult(StopByName(serviceName, DeadlineIn(timeoutMs)));
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

// Stops the service's active dependents, each until its process is gone,
// then the service itself, adding each dependent stopped to the list in
// stopped (size characters).
template <typename Char>
DWORD StopDependentsThenService(SC_HANDLE service, StatusWatch *watch, const Deadline &deadline,
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
    if (used == 0) ClearList(stopped);
    for (DWORD i = 0; i < count; ++i) {
      const Char *name = dependents.records()[i].lpServiceName;
      code = StopByName(name, deadline);
      if (code != ERROR_SUCCESS) return code;
      used = AppendName(stopped, used, name, TextLength(name));
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
  WatchedService stopping;
  const Outcome opened = OpenWatched(serviceName, kStopWithDependentsRights, &stopping);
  if (opened.code != ERROR_SUCCESS) return CodeResult(opened.code);
  return CodeResult(StopDependentsThenService(stopping.opened.service.get(), &stopping.watch,
                                              deadline, stopped, size));
}

// Stops the service until its process and every process that belongs to
// it (with a folder, also those whose program lies there) have exited;
// with kill, ends at the deadline those that have not, and waits the grace
// for them, ending again at each round what runs. *ended says whether it
// ended any. Returns 0, ERROR_SERVICE_REQUEST_TIMEOUT, WAIT_TIMEOUT or the
// code of the failure.
DWORD StopTreeForUpdate(SC_HANDLE service, StatusWatch *watch, const Deadline &deadline, bool kill,
                        const WCHAR *folder, bool *ended) {
  ProcessTree tree({true, folder});
  DWORD code = StopUntilStopped(service, watch, &tree, deadline);
  if (code != ERROR_SUCCESS && code != ERROR_SERVICE_REQUEST_TIMEOUT) return code;
  const bool stopped = code == ERROR_SUCCESS;
  if (!stopped && !kill) return ERROR_SERVICE_REQUEST_TIMEOUT;
  code = stopped ? WaitForTreeExit(&tree, deadline, false) : WAIT_TIMEOUT;
  if (code != WAIT_TIMEOUT || !kill) return code;
  // What belongs to it as the list shows it now.
  code = TakeRound(&tree);
  if (code != ERROR_SUCCESS) return code;
  *ended = EndTree(&tree);
  // Nothing that it may end: a process that others share, or no right on it.
  if (!*ended) return stopped ? WAIT_TIMEOUT : ERROR_SERVICE_REQUEST_TIMEOUT;
  return WaitForTreeExit(&tree, DeadlineIn(SERVICE_UPDATE_KILL_GRACE_MS), true);
}

// The folder of a service's programs, whose processes its stop for an
// update waits for.
struct ServiceFolder {
  WCHAR path[MAX_PATH];  // empty where none is waited for
};

// The folder whose programs an update of the service waits for: its
// program's. Returns 0, the code of the failed read, or
// ERROR_INVALID_PARAMETER where no folder may be waited for: the service
// shares its process, or its program lies at a drive's root or under the
// Windows folder.
DWORD UpdateFolderOf(SC_HANDLE service, ServiceFolder *folder) {
  HeapBuffer<QUERY_SERVICE_CONFIGW> record;
  DWORD size = 0;
  const Outcome read = ReadConfigRecord<wchar_t>(service, &record, &size);
  if (read.code != ERROR_SUCCESS) return read.code;
  const QUERY_SERVICE_CONFIGW *config = record.records();
  const bool own = (config->dwServiceType & SERVICE_WIN32_SHARE_PROCESS) == 0;
  if (!own || config->lpBinaryPathName == NULL ||
      !ProgramFolderOf(config->lpBinaryPathName, folder->path) || IsSystemFolder(folder->path)) {
    return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

// What recording asks of each service, and what the stop asks besides;
// SERVICE_CHANGE_CONFIG too where it holds them disabled.
const DWORD kRecordRights = SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG;

DWORD StopRightsFor(DWORD flags) {
  return kStopForUpdateRights |
         ((flags & SERVICE_UPDATE_HOLD_STOPPED) != 0 ? SERVICE_CHANGE_CONFIG : 0);
}

// Reads what the record keeps of a service: its start type and, for a stop
// with the kill, its failure actions where the platform hands them back;
// for one that waits for the folder, checks that it may.
template <typename Char>
DWORD ReadForRecord(SC_HANDLE service, DWORD flags, RecordedService<Char> *recorded) {
  recorded->ended = false;
  recorded->failureActions.kept = ActionsKept::kNone;
  DWORD code = StartTypeOf<Char>(service, &recorded->startType);
  ServiceFolder folder;
  if (code == ERROR_SUCCESS && (flags & SERVICE_UPDATE_WAIT_FOR_FOLDER) != 0) {
    code = UpdateFolderOf(service, &folder);
  }
  if (code != ERROR_SUCCESS || (flags & SERVICE_UPDATE_KILL_AT_DEADLINE) == 0) return code;
  code = ReadFailureActions(service, &recorded->failureActions.read);
  if (code == ERROR_NOT_ENOUGH_MEMORY) return code;
  recorded->failureActions.kept =
      code == ERROR_SUCCESS ? ActionsKept::kKept : ActionsKept::kUnreadable;
  return ERROR_SUCCESS;
}

// Records the service and the dependents that run, in the order of their
// stops (the dependents, then the service) but the service first.
template <typename Char>
DWORD RecordRunning(SC_HANDLE manager, SC_HANDLE service, const Char *serviceName, DWORD flags,
                    Char *record, DWORD *recordSize) {
  HeapBuffer<typename ScmApi<Char>::Dependent> dependents;
  DWORD count = 0;
  DWORD code = ActiveDependents<Char>(service, &dependents, &count);
  if (code != ERROR_SUCCESS) return code;
  HeapBuffer<RecordedService<Char>> services((count + 1) * sizeof(RecordedService<Char>));
  if (services.get() == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  RecordedService<Char> *recorded = services.records();
  SERVICE_STATUS_PROCESS status;
  if (!QueryStatusProcess(service, &status)) return GetLastError();
  CopyBounded(recorded[0].name, serviceName, kLongestName + 1);
  recorded[0].ran = status.dwCurrentState != SERVICE_STOPPED;
  code = ReadForRecord(service, flags, &recorded[0]);
  for (DWORD i = 0; code == ERROR_SUCCESS && i < count; ++i) {
    RecordedService<Char> *dependent = &recorded[i + 1];
    CopyBounded(dependent->name, dependents.records()[i].lpServiceName, kLongestName + 1);
    dependent->ran = true;
    const ServiceHandle handle(ScmApi<Char>::OpenByName(manager, dependent->name, kRecordRights));
    code = handle.get() == NULL ? GetLastError() : ReadForRecord(handle.get(), flags, dependent);
  }
  if (code != ERROR_SUCCESS) return code;
  const size_t needed = WriteRecord<Char>(recorded, count + 1, flags, NULL, 0);
  if (needed > *recordSize) {
    *recordSize = static_cast<DWORD>(needed);
    return ERROR_INSUFFICIENT_BUFFER;
  }
  WriteRecord(recorded, count + 1, flags, record, *recordSize);
  *recordSize = static_cast<DWORD>(needed);
  return ERROR_SUCCESS;
}

template <typename Char>
DWORD RecordForUpdate(const Char *serviceName, DWORD flags, Char *record, DWORD *recordSize) {
  const DWORD known = SERVICE_UPDATE_HOLD_STOPPED | SERVICE_UPDATE_KILL_AT_DEADLINE |
                      SERVICE_UPDATE_WAIT_FOR_FOLDER;
  if (serviceName == NULL || recordSize == NULL || (record == NULL && *recordSize != 0) ||
      (flags & ~known) != 0) {
    return ERROR_INVALID_PARAMETER;
  }
  if ((flags & SERVICE_UPDATE_KILL_AT_DEADLINE) != 0) flags |= SERVICE_UPDATE_HOLD_STOPPED;
  OpenedService opened;
  const Outcome outcome = OpenService(
      serviceName, {SC_MANAGER_CONNECT, kRecordRights | SERVICE_ENUMERATE_DEPENDENTS}, &opened);
  if (outcome.code != ERROR_SUCCESS) return outcome.code;
  return RecordRunning(opened.manager.get(), opened.service.get(), serviceName, flags, record,
                       recordSize);
}

// Holds the recorded service disabled and, where its failure actions were
// kept, takes them away, so that nothing starts it again or runs for its
// end meanwhile.
template <typename Char>
DWORD Hold(SC_HANDLE manager, const RecordedService<Char> &service, DWORD rights) {
  const ServiceHandle handle(ScmApi<Char>::OpenByName(manager, service.name, rights));
  if (handle.get() == NULL) return GetLastError();
  const DWORD code = ChangeStartType<Char>(handle.get(), SERVICE_DISABLED);
  if (code != ERROR_SUCCESS || service.failureActions.kept != ActionsKept::kKept) return code;
  return ChangeFailureActions<wchar_t>(handle.get(), 0, NULL, 0,
                                       service.failureActions.read.onNonCrashFailures);
}

// Stops what the record names for an update, as its flags ask, and writes
// the marks of what it ended into it in place.
template <typename Char>
DWORD StopAsRecorded(Char *record, const Deadline &deadline) {
  if (record == NULL) return ERROR_INVALID_PARAMETER;
  HeapBuffer<RecordedService<Char>> services;
  DWORD count = 0, flags = 0;
  DWORD code = ReadRecord(record, &services, &count, &flags);
  if (code != ERROR_SUCCESS) return code;
  const size_t size = TextLength(record) + 1;
  RecordedService<Char> *recorded = services.records();
  HeapBuffer<ServiceFolder> folders(count * sizeof(ServiceFolder));
  if (folders.get() == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  ServiceHandle manager;
  code = OpenManager<Char>(SC_MANAGER_CONNECT, &manager).code;
  const DWORD rights = StopRightsFor(flags);
  // Each opened, and its folder found, before anything changes.
  for (DWORD i = 0; code == ERROR_SUCCESS && i < count; ++i) {
    const ServiceHandle handle(ScmApi<Char>::OpenByName(manager.get(), recorded[i].name, rights));
    folders.records()[i].path[0] = 0;
    code = handle.get() == NULL ? GetLastError() : ERROR_SUCCESS;
    if (code == ERROR_SUCCESS && (flags & SERVICE_UPDATE_WAIT_FOR_FOLDER) != 0) {
      code = UpdateFolderOf(handle.get(), &folders.records()[i]);
    }
  }
  for (DWORD i = 0;
       code == ERROR_SUCCESS && (flags & SERVICE_UPDATE_HOLD_STOPPED) != 0 && i < count; ++i) {
    code = Hold(manager.get(), recorded[i], rights);
  }
  const bool kill = (flags & SERVICE_UPDATE_KILL_AT_DEADLINE) != 0;
  for (DWORD n = 1; code == ERROR_SUCCESS && n <= count; ++n) {
    const DWORD i = n % count;  // the dependents first, then the service
    const WCHAR *folder = folders.records()[i].path;
    WatchedService stopping;
    code = OpenWatched(recorded[i].name, {SC_MANAGER_CONNECT, rights}, &stopping).code;
    if (code == ERROR_SUCCESS) {
      code = StopTreeForUpdate(stopping.opened.service.get(), &stopping.watch, deadline, kill,
                               *folder != 0 ? folder : NULL, &recorded[i].ended);
    }
    if (recorded[i].ended) WriteRecord(recorded, count, flags, record, size);
  }
  return code;
}

template <typename Char>
DWORD StopForUpdate(const Char *serviceName, DWORD timeoutMs, DWORD flags, Char *record,
                    DWORD *recordSize) {
  const Deadline deadline = DeadlineIn(timeoutMs);
  const DWORD code = RecordForUpdate(serviceName, flags, record, recordSize);
  return CodeResult(code != ERROR_SUCCESS ? code : StopAsRecorded(record, deadline));
}

}  // namespace

DWORD FinishStop(SC_HANDLE service, StatusWatch *watch, const Deadline &deadline, bool kill) {
  SERVICE_STATUS_PROCESS status;
  if (!QueryStatusProcess(service, &status)) return GetLastError();
  if (status.dwCurrentState != SERVICE_STOP_PENDING) return ERROR_SUCCESS;
  bool ended = false;
  return StopTreeForUpdate(service, watch, deadline, kill, NULL, &ended);
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

DWORD StopServiceWithDependents(const char *serviceName, DWORD timeoutMs, char *stoppedDependents,
                                DWORD size) {
  return StopWithDependents(serviceName, timeoutMs, stoppedDependents, size);
}
DWORD StopServiceWithDependentsW(const wchar_t *serviceName, DWORD timeoutMs,
                                 wchar_t *stoppedDependents, DWORD size) {
  return StopWithDependents(serviceName, timeoutMs, stoppedDependents, size);
}

DWORD StopServicesForUpdate(const char *serviceName, DWORD timeoutMs, DWORD flags, char *record,
                            DWORD *recordSize) {
  return StopForUpdate(serviceName, timeoutMs, flags, record, recordSize);
}
DWORD StopServicesForUpdateW(const wchar_t *serviceName, DWORD timeoutMs, DWORD flags,
                             wchar_t *record, DWORD *recordSize) {
  return StopForUpdate(serviceName, timeoutMs, flags, record, recordSize);
}

DWORD RecordServicesForUpdate(const char *serviceName, DWORD flags, char *record,
                              DWORD *recordSize) {
  return CodeResult(RecordForUpdate(serviceName, flags, record, recordSize));
}
DWORD RecordServicesForUpdateW(const wchar_t *serviceName, DWORD flags, wchar_t *record,
                               DWORD *recordSize) {
  return CodeResult(RecordForUpdate(serviceName, flags, record, recordSize));
}

DWORD StopServicesAsRecorded(char *record, DWORD timeoutMs) {
  return CodeResult(StopAsRecorded(record, DeadlineIn(timeoutMs)));
}
DWORD StopServicesAsRecordedW(wchar_t *record, DWORD timeoutMs) {
  return CodeResult(StopAsRecorded(record, DeadlineIn(timeoutMs)));
}

}  // extern "C"
