#include "ops/failure_actions.h"

#include "core/owned.h"

namespace service_control {

DWORD ReadFailureActions(SC_HANDLE service, FailureActions *read) {
  DWORD needed = 0;
  if (QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, NULL, 0, &needed)) {
    return ERROR_INVALID_DATA;
  }
  DWORD code = GetLastError();
  if (code != ERROR_INSUFFICIENT_BUFFER) return code;
  const HeapBuffer<SERVICE_FAILURE_ACTIONSW> buffer(needed);
  if (buffer.get() == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  if (!QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS,
                            static_cast<LPBYTE>(buffer.get()), needed, &needed)) {
    return GetLastError();
  }
  const SERVICE_FAILURE_ACTIONSW *actions = buffer.records();
  // Wine has answered with a count and no actions.
  if (actions->cActions > kMostActions ||
      (actions->cActions != 0 && actions->lpsaActions == NULL)) {
    return ERROR_INVALID_DATA;
  }
  SERVICE_FAILURE_ACTIONS_FLAG flag;
  if (!QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG,
                            reinterpret_cast<LPBYTE>(&flag), sizeof flag, &needed)) {
    return GetLastError();
  }
  read->onNonCrashFailures = flag.fFailureActionsOnNonCrashFailures != FALSE;
  read->resetSeconds = actions->dwResetPeriod;
  read->count = actions->cActions;
  for (DWORD i = 0; i < read->count; ++i) read->actions[i] = actions->lpsaActions[i];
  return ERROR_SUCCESS;
}

}  // namespace service_control
