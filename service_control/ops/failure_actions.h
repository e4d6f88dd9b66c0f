// What the manager does when a service fails: its failure actions with
// their reset period, and whether they also apply to a stop with an error.
// Set in the caller's form; read as numbers alone, through the W call.
#ifndef FAILURE_ACTIONS_H
#define FAILURE_ACTIONS_H

#include <windows.h>

#include "core/scm_api.h"

namespace service_control {

// The most actions that are read back.
const DWORD kMostActions = 8;

struct FailureActions {
  bool onNonCrashFailures;
  DWORD resetSeconds;
  DWORD count;
  SC_ACTION actions[kMostActions];
};

// Changes one optional setting with ChangeServiceConfig2. Returns 0 or the
// code of the failed call; a call that fails without a code gives
// ERROR_NOT_SUPPORTED, never a success.
template <typename Char>
DWORD ChangeConfig2(SC_HANDLE service, DWORD level, void *info) {
  SetLastError(ERROR_SUCCESS);
  if (ScmApi<Char>::ChangeConfig2(service, level, info)) return ERROR_SUCCESS;
  const DWORD code = GetLastError();
  return code != ERROR_SUCCESS ? code : ERROR_NOT_SUPPORTED;
}

// Sets the actions (null for none) and their reset period, then the flag.
// Returns 0 or the code of the failed call; if the second fails, the
// actions stay set. A restart action takes a handle that may start the
// service.
template <typename Char>
DWORD ChangeFailureActions(SC_HANDLE service, DWORD resetSeconds, const SC_ACTION *actions,
                           DWORD count, int onNonCrashFailures) {
  // The platform leaves the actions as they are for a null list, so no
  // actions go as an empty one.
  SC_ACTION none = {};
  typename ScmApi<Char>::FailureActions info = {
      resetSeconds, NULL, NULL, count, actions == NULL ? &none : const_cast<SC_ACTION *>(actions)};
  const DWORD code = ChangeConfig2<Char>(service, SERVICE_CONFIG_FAILURE_ACTIONS, &info);
  if (code != ERROR_SUCCESS) return code;
  SERVICE_FAILURE_ACTIONS_FLAG flag = {onNonCrashFailures != 0};
  return ChangeConfig2<Char>(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag);
}

// Reads the service's failure actions and their flag (SERVICE_QUERY_CONFIG).
// Returns 0, ERROR_NOT_ENOUGH_MEMORY, or another code where the platform
// will not hand them back whole (Wine answers ERROR_INVALID_LEVEL), or
// they are more than kMostActions.
DWORD ReadFailureActions(SC_HANDLE service, FailureActions *read);

}  // namespace service_control

#endif
