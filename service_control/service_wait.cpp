#include "service_wait.h"

#include <string.h>

#include "deadline.h"

#ifndef ERROR_SERVICE_NOTIFY_CLIENT_LAGGING
#define ERROR_SERVICE_NOTIFY_CLIENT_LAGGING 1294
#endif

namespace service_control {
namespace {

const DWORD kLongestPaceMs = 100;
const DWORD kEveryStatus = SERVICE_NOTIFY_STOPPED | SERVICE_NOTIFY_START_PENDING |
                           SERVICE_NOTIFY_STOP_PENDING | SERVICE_NOTIFY_RUNNING |
                           SERVICE_NOTIFY_CONTINUE_PENDING | SERVICE_NOTIFY_PAUSE_PENDING |
                           SERVICE_NOTIFY_PAUSED;

void CALLBACK OnStatusReport(void *parameter) {
  const SERVICE_NOTIFYW *record = static_cast<const SERVICE_NOTIFYW *>(parameter);
  StatusWatch *watch = static_cast<StatusWatch *>(record->pContext);
  watch->pending = false;
  if (record->dwNotificationStatus == ERROR_SERVICE_NOTIFY_CLIENT_LAGGING) watch->lagging = true;
}

// Opens a handle of the watch's own to ask through. Returns false where it
// cannot.
bool Reopen(StatusWatch *watch) {
  watch->own.reset(watch->open(watch->manager, watch->name, SERVICE_QUERY_STATUS));
  watch->handle = watch->own.get();
  watch->lagging = false;
  return watch->handle != NULL;
}

DWORD Register(StatusWatch *watch) {
  memset(&watch->record, 0, sizeof watch->record);
  watch->record.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
  watch->record.pfnNotifyCallback = OnStatusReport;
  watch->record.pContext = watch;
  return NotifyServiceStatusChangeW(watch->handle, kEveryStatus, &watch->record);
}

}  // namespace

DWORD NextPaceMs(DWORD paceMs, DWORD waitHint) {
  const DWORD longest = ShorterMs(kLongestPaceMs, waitHint / 10);
  const DWORD next = ShorterMs(paceMs * 2, longest);
  return next < kFirstPaceMs ? kFirstPaceMs : next;
}

void ArmWatch(StatusWatch *watch) {
  if (watch->paced || watch->pending) return;
  if (watch->lagging) watch->paced = !Reopen(watch);
  DWORD code = watch->paced ? ERROR_SUCCESS : Register(watch);
  // Behind the notifications that the platform keeps: one handle anew.
  if (code == ERROR_SERVICE_NOTIFY_CLIENT_LAGGING) code = Reopen(watch) ? Register(watch) : code;
  if (code != ERROR_SUCCESS) watch->paced = true;
  watch->pending = !watch->paced;
  if (watch->paced && watch->paceMs == 0) watch->paceMs = kFirstPaceMs;
}

void EndWatch(StatusWatch *watch) { watch->own.reset(NULL); }

void DrainWatch(StatusWatch *watch) {
  if (watch->pending) SleepEx(0, TRUE);
}

DWORD PauseForChange(StatusWatch *watch, WatchedProcess *process, DWORD milliseconds,
                     DWORD waitHint) {
  if (watch->paced) {
    milliseconds = ShorterMs(milliseconds, watch->paceMs);
    watch->paceMs = NextPaceMs(watch->paceMs, waitHint);
  }
  const bool watched = process != NULL && process->id != 0 && !process->exited;
  if (watched && process->handle.get() != NULL) {
    const DWORD waited = WaitForSingleObjectEx(process->handle.get(), milliseconds, TRUE);
    if (waited == WAIT_FAILED) return GetLastError();
    process->exited = waited == WAIT_OBJECT_0;
    return ERROR_SUCCESS;
  }
  if (!watched) {
    SleepEx(milliseconds, TRUE);
    return ERROR_SUCCESS;
  }
  SleepEx(ShorterMs(milliseconds, kListPauseMs), TRUE);
  return LookUpListed(process);
}

}  // namespace service_control
