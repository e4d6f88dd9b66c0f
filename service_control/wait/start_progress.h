// Whether a start is still under way: the rule by which StartServiceAndWait
// gives up, and the update's starts with it. A start-pending service makes
// progress while its check point rises; it has given up once the check
// point has stood still for longer than its latest wait hint.
#ifndef START_PROGRESS_H
#define START_PROGRESS_H

#include <windows.h>

namespace service_control {

struct StartProgress {
  DWORD risenAt;  // the tick count of the last rise
  DWORD highest;  // the check point then
};

// The progress from the first status after the start, read at now.
inline StartProgress ProgressFrom(const SERVICE_STATUS_PROCESS &status, DWORD now) {
  return {now, status.dwCheckPoint};
}

// Takes the status read at now: a check point above the highest restarts
// the clock. Returns false once the time since the last rise exceeds the
// status's wait hint.
inline bool MakesProgress(StartProgress *progress, const SERVICE_STATUS_PROCESS &status,
                          DWORD now) {
  if (status.dwCheckPoint > progress->highest) {
    *progress = ProgressFrom(status, now);
    return true;
  }
  return now - progress->risenAt <= status.dwWaitHint;
}

}  // namespace service_control

#endif
