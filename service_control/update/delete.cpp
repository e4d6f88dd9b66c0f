// The delete of an update: until the manager no longer knows the service,
// so that its name can be installed again.
#include "core/deadline.h"
#include "core/scm_session.h"
#include "service_control.h"
#include "wait/service_wait.h"

namespace service_control {
namespace {

const Access kDeleteRights = {SC_MANAGER_CONNECT, DELETE};
const Access kProbeRights = {SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS};

// Deletes the service, or takes one marked for deletion already, and closes
// its handles. Returns 0, or the code of the failed call.
template <typename Char>
DWORD DeleteByName(const Char *serviceName) {
  OpenedService deleting;
  const Outcome opened = OpenService(serviceName, kDeleteRights, &deleting);
  if (opened.code != ERROR_SUCCESS) return opened.code;
  if (DeleteService(deleting.service.get())) return ERROR_SUCCESS;
  const DWORD code = GetLastError();
  return code == ERROR_SERVICE_MARKED_FOR_DELETE ? ERROR_SUCCESS : code;
}

template <typename Char>
DWORD DeleteUntilGone(const Char *serviceName, DWORD timeoutMs) {
  const Deadline deadline = DeadlineIn(timeoutMs);
  const DWORD deleted = DeleteByName(serviceName);
  // Not installed, or no longer: gone.
  if (deleted == ERROR_SERVICE_DOES_NOT_EXIST) return ERROR_SUCCESS;
  if (deleted != ERROR_SUCCESS) return CodeResult(deleted);
  // Its own handles are closed: it goes once nobody else holds one. No
  // notification tells that to a waiter without a handle, which would keep
  // it: it is looked for at a growing pace.
  for (DWORD pace = kFirstPaceMs;; pace = NextPaceMs(pace, INFINITE)) {
    Outcome opened;
    {
      OpenedService probed;
      opened = OpenService(serviceName, kProbeRights, &probed);
    }
    if (opened.code == ERROR_SERVICE_DOES_NOT_EXIST) return CodeResult(ERROR_SUCCESS);
    if (opened.code != ERROR_SUCCESS) return CodeResult(opened.code);
    const DWORD left = RemainingMs(deadline);
    if (left == 0) return CodeResult(ERROR_SERVICE_MARKED_FOR_DELETE);
    Sleep(ShorterMs(pace, left));
  }
}

}  // namespace
}  // namespace service_control

using namespace service_control;

extern "C" {

DWORD DeleteServiceAndWaitGone(const char *serviceName, DWORD timeoutMs) {
  return DeleteUntilGone(serviceName, timeoutMs);
}
DWORD DeleteServiceAndWaitGoneW(const wchar_t *serviceName, DWORD timeoutMs) {
  return DeleteUntilGone(serviceName, timeoutMs);
}

}  // extern "C"
