#include "wait/service_wait.h"

#include "core/deadline.h"

#ifndef ERROR_SERVICE_NOTIFY_CLIENT_LAGGING
#define ERROR_SERVICE_NOTIFY_CLIENT_LAGGING 1294
#endif

namespace service_control {

// A record that the platform writes, first in its pool entry, so that the
// callback finds the entry from the record that it is given.
// The flags are set by the platform's callback, on this thread or, late, on
// another that took the record before: each is read and written whole.
struct NotifyRecord {
  SERVICE_NOTIFYW record;
  volatile LONG taken;
  volatile LONG told;
  volatile LONG lagging;
};

namespace {

const DWORD kLongestPaceMs = 100;
const DWORD kEveryStatus = SERVICE_NOTIFY_STOPPED | SERVICE_NOTIFY_START_PENDING |
                           SERVICE_NOTIFY_STOP_PENDING | SERVICE_NOTIFY_RUNNING |
                           SERVICE_NOTIFY_CONTINUE_PENDING | SERVICE_NOTIFY_PAUSE_PENDING |
                           SERVICE_NOTIFY_PAUSED;

// Enough for as many threads as wait at once in any program seen; a watch
// beyond them queries at a pace.
const size_t kPooledRecords = 64;
NotifyRecord pool[kPooledRecords];

void CALLBACK OnStatusReport(void *parameter) {
  NotifyRecord *told = reinterpret_cast<NotifyRecord *>(parameter);
  if (told->record.dwNotificationStatus == ERROR_SERVICE_NOTIFY_CLIENT_LAGGING) {
    InterlockedExchange(&told->lagging, 1);
  }
  InterlockedExchange(&told->told, 1);
}

NotifyRecord *TakeRecord() {
  for (NotifyRecord &entry : pool) {
    if (InterlockedCompareExchange(&entry.taken, 1, 0) == 0) {
      // The same values every time: a late write never touches them.
      entry.record.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
      entry.record.pfnNotifyCallback = OnStatusReport;
      return &entry;
    }
  }
  return NULL;
}

// Opens a handle of the watch's own to ask through. Returns false where it
// cannot.
bool Reopen(StatusWatch *watch) {
  watch->own.reset(watch->open(watch->manager, watch->name, SERVICE_QUERY_STATUS));
  watch->handle = watch->own.get();
  return watch->handle != NULL;
}

DWORD Register(StatusWatch *watch) {
  InterlockedExchange(&watch->record->told, 0);
  InterlockedExchange(&watch->record->lagging, 0);
  return NotifyServiceStatusChangeW(watch->handle, kEveryStatus, &watch->record->record);
}

// The state once what the platform said, if anything, is heard.
WatchState Heard(const StatusWatch &watch) {
  if (watch.state != WatchState::kAsked || watch.record->told == 0) return watch.state;
  return watch.record->lagging != 0 ? WatchState::kLagging : WatchState::kIdle;
}

}  // namespace

DWORD NextPaceMs(DWORD paceMs, DWORD waitHint) {
  const DWORD longest = ShorterMs(kLongestPaceMs, waitHint / 10);
  const DWORD next = ShorterMs(paceMs * 2, longest);
  return next < kFirstPaceMs ? kFirstPaceMs : next;
}

void ArmWatch(StatusWatch *watch) {
  watch->state = Heard(*watch);
  if (watch->state == WatchState::kPaced || watch->state == WatchState::kAsked) return;
  if (watch->record == NULL) watch->record = TakeRecord();
  bool asked = false;
  if (watch->record != NULL && (watch->state != WatchState::kLagging || Reopen(watch))) {
    DWORD code = Register(watch);
    // Behind the notifications that the platform keeps: one handle anew.
    if (code == ERROR_SERVICE_NOTIFY_CLIENT_LAGGING) code = Reopen(watch) ? Register(watch) : code;
    // Still asked: a late write told the record, which an earlier watch had.
    asked = code == ERROR_SUCCESS || code == ERROR_ALREADY_REGISTERED;
  }
  watch->state = asked ? WatchState::kAsked : WatchState::kPaced;
  if (!asked) watch->paceMs = kFirstPaceMs;
}

void EndWatch(StatusWatch *watch) { watch->own.reset(NULL); }

WatchedService::~WatchedService() {
  EndWatch(&watch);
  opened.service.reset(NULL);
  opened.manager.reset(NULL);
  DrainWatch(&watch);
}

void DrainWatch(StatusWatch *watch) {
  if (Heard(*watch) == WatchState::kAsked) SleepEx(0, TRUE);
  if (watch->record != NULL) InterlockedExchange(&watch->record->taken, 0);
}

DWORD PauseForChange(StatusWatch *watch, WatchedProcess *process, DWORD milliseconds,
                     DWORD waitHint) {
  if (watch->state == WatchState::kPaced) {
    milliseconds = ShorterMs(milliseconds, watch->paceMs);
    watch->paceMs = NextPaceMs(watch->paceMs, waitHint);
  }
  return PauseOnProcess(process, milliseconds, TRUE);
}

}  // namespace service_control
