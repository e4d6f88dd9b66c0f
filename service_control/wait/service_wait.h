// The module's own waits on a service, for the steps of an update, which
// return within a few milliseconds of the change that they wait for. The
// platform tells a thread the moment a service reports a status
// (NotifyServiceStatusChangeW; the W call serves both forms, and Wine has no
// A one), but only in an alertable wait of that thread: the waits sleep
// alertably, on the service's process where they watch one, since a process
// that dies sends no notification under Wine. A notification is a hint: the
// status is queried again, and an APC of someone else's only wakes the wait
// early. Where notifications cannot be had, the status is queried at a pace
// that starts at a few milliseconds and grows, never past a tenth of the
// wait hint.
//
// The platform may write a notification's record, and queue its callback,
// even after the handle that asked for it is closed (Wine's notification
// thread does): so no record lives in an operation's memory. Each is taken
// from a pool that lasts as long as the process and is given back when its
// watch ends; its callback touches nothing but the record. A late write
// into a record that another watch has taken since only wakes that watch
// once more. The pool holds a fixed number of records: a watch that finds
// none free queries at a pace.
#ifndef SERVICE_WAIT_H
#define SERVICE_WAIT_H

#include <windows.h>

#include "core/owned.h"
#include "core/scm_api.h"
#include "core/scm_session.h"
#include "wait/process_watch.h"

namespace service_control {

struct NotifyRecord;

// What a watch knows of its notifications.
enum class WatchState {
  kIdle,     // nothing asked, or told: ask before the next query
  kAsked,    // asked, and not told yet
  kLagging,  // told that the platform wants a new handle
  kPaced,    // no notifications: queries at a pace
};

// What the module hears of one service's reports.
struct StatusWatch {
  WatchState state;
  DWORD paceMs;
  NotifyRecord *record;  // from the pool, from the first ask to the watch's end
  SC_HANDLE handle;      // what asks: the operation's handle, or the watch's own
  SC_HANDLE manager;
  const void *name;
  SC_HANDLE (*open)(SC_HANDLE manager, const void *name, DWORD access);
  ServiceHandle own;  // opened anew when the platform asks for it
};

// The pace of queries that take the place of notifications: from the first
// pace, doubled at each query, up to a tenth of the wait hint (at most
// 100 ms, and no less than the first pace).
const DWORD kFirstPaceMs = 4;
DWORD NextPaceMs(DWORD paceMs, DWORD waitHint);

template <typename Char>
SC_HANDLE OpenNamed(SC_HANDLE manager, const void *name, DWORD access) {
  return ScmApi<Char>::OpenByName(manager, static_cast<const Char *>(name), access);
}

// Gets the watch of the named service ready, to ask through the handle that
// the operation opened.
template <typename Char>
void BeginWatch(StatusWatch *watch, SC_HANDLE service, SC_HANDLE manager, const Char *name) {
  watch->handle = service;
  watch->manager = manager;
  watch->name = name;
  watch->open = OpenNamed<Char>;
}

// Closes the watch's own handle, if it opened one, before the manager's.
void EndWatch(StatusWatch *watch);

// Once every handle that asked through it is closed, runs the callback that
// the platform may have queued already, and gives the record back.
void DrainWatch(StatusWatch *watch);

// Asks to be told of the service's next report, unless that is asked
// already; a refusal leaves the watch paced. Called before each status
// query, so that no report after the query goes unheard.
void ArmWatch(StatusWatch *watch);

// A service opened with a watch on its status. When it goes, the watch's
// own handle is closed first, then the service's and the manager's, and
// then the watch's record is given back.
struct WatchedService {
  StatusWatch watch = {};
  OpenedService opened;
  ~WatchedService();
};

// Opens the named service with access into watched, and begins its watch.
// Returns the outcome of the opens.
template <typename Char>
Outcome OpenWatched(const Char *serviceName, Access access, WatchedService *watched) {
  const Outcome outcome = OpenService(serviceName, access, &watched->opened);
  if (outcome.code == ERROR_SUCCESS) {
    BeginWatch(&watched->watch, watched->opened.service.get(), watched->opened.manager.get(),
               serviceName);
  }
  return outcome;
}

// Pauses up to milliseconds, and less once the service reports, or the
// process (when one is watched) exits. Returns 0 or the code of a failed
// wait or process-list read.
DWORD PauseForChange(StatusWatch *watch, WatchedProcess *process, DWORD milliseconds,
                     DWORD waitHint);

}  // namespace service_control

#endif
